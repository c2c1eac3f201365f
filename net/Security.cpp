// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Security.h"

#include "base/Text.h"

#include <string>

bool IsThisComputer(std::string_view host)
{
    std::string name = text::lower(text::trim(host));
    if (name.size() > 1 && name.back() == '.') // the fully qualified "localhost."
        name.pop_back();
    for (const char* local : {"127.0.0.1", "::1", "[::1]", "localhost"})
        if (name == local)
            return true;
    return false;
}
