// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The string list of the message model: headers as "Name=value" entries,
// body and part text as lines.
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;
