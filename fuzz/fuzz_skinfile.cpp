// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a skin.ini to the line scanner and the skin
// reader. The scanner ends the process on an unreadable file, and the reader
// on a skin without [background] main, so the input is always written to a
// real file first and the reader runs only when main is there.
#include "base/Exception.h"
#include "base/Scanner.h"
#include "skin/file/SkinFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tolmu-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_path = pattern + "/";
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

void writeAll(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ScratchDir dir;
    const std::string ini = dir.path() + "skin.ini";
    writeAll(ini, data, size);

    const char* const lookups[][2] = {
        {"", "key"}, {"[background]", "main"}, {"[account1]", "acc_name"}, {"[status]", "size"}, {"[x]", ""},
    };
    for (const auto& l : lookups)
        (void)FindInSkin(ini, l[0], l[1]);

    CurrentSkinDir = dir.path();
    if (FindInSkin(ini, "[background]", "main") != "none") {
        try {
            ReadSkin();
        } catch (const Exception&) {
            // Number-format errors are the reader's normal answer to bad input.
        }
    }
    try {
        (void)ReadSkinInfo(ini);
    } catch (const Exception&) {
    }

    const std::string text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    int32_t first = 0, second = 0;
    try {
        TraiteInt(text, first, second);
    } catch (const Exception&) {
    }
    return 0;
}
