// SPDX-License-Identifier: GPL-3.0-or-later
// Base64 lines from bytes: any line decodes without reading outside it, to
// exactly three bytes per group of four less the padding; and any bytes
// survive EncodeLine then DecodeLine unchanged, whatever their length.
#include "mail/Coder.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);

    const std::string decoded = TWireDecoder::DecodeLine(in);
    std::size_t expected = 0;
    if (size > 3)
        for (std::size_t g = 0; g + 4 <= size; g += 4)
            expected += in[g + 2] == '=' ? 1 : in[g + 3] == '=' ? 2 : 3;
    if (decoded.size() != expected)
        std::abort();

    if (TWireDecoder::DecodeLine(TWireEncoder::EncodeLine(in)) != in)
        std::abort();
    return 0;
}
