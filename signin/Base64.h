// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Base64 (RFC 4648) for the SASL responses and the PKCE challenge.
#include <optional>
#include <string>
#include <string_view>

// The standard alphabet, padded with "=".
std::string Base64Encode(std::string_view bytes);

// The URL-safe alphabet without padding (RFC 7636's BASE64URL).
std::string Base64UrlEncode(std::string_view bytes);

// Decodes the standard alphabet; padding may be left off. Nothing for any
// other character (blanks included) or a length no encoder makes.
std::optional<std::string> Base64Decode(std::string_view text);
