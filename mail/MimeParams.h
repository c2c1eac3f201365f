// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grammar of structured header values: media types, and the
// parameters of Content-Type and Content-Disposition in every form senders
// use (RFC 2045 tokens and quoted strings, RFC 2231 extended values and
// continuations, RFC 2047 encoded words, the unescaped backslashes of older
// Windows mailers' file names). The body reader asks it what a part is.
#include "mail/StringList.h"

#include <optional>
#include <string>
#include <string_view>

namespace mime {

// Whether t is a token of RFC 2045: not empty, no blank, control character
// or tspecial.
bool IsToken(std::string_view t);

// The media type of a Content-Type value: the text before the first ";",
// without surrounding blanks, in lower case.
std::string MediaType(std::string_view contentType);

// The media type a Content-Type value stands for, in lower case. A type
// without a subtype is its main type alone ("text"); an empty value and
// one that is no type at all ("<HR>", "text/") read as text/plain, as
// RFC 2045 asks. A comment, or parameters without their ";", after the
// type are dropped.
std::string EffectiveType(std::string_view contentType);

// The main type of a Content-Type value (before the "/" of its
// EffectiveType), in lower case.
std::string MainType(std::string_view contentType);

// The value of one parameter of a structured header value such as
// 'multipart/mixed; charset=x; Boundary="b"' (RFC 2045): the name matched in
// any letter case, quoted values unquoted (backslash escapes resolved), bare
// values up to the next ";" and trimmed. Nothing when absent.
std::optional<std::string> HeaderParameter(std::string_view value, std::string_view name);

// The boundary parameter of a Content-Type value in any of its forms, plain
// or RFC 2231; its bytes as they are (no charset applied). Nothing when
// absent.
std::optional<std::string> Boundary(std::string_view contentType);

// A parameter's text in UTF-8, in every form senders use: RFC 2231
// extended values (name*=charset'lang'%XX) and continuations (name*0*=,
// name*1=, ...), and plain values, quoted or not, with RFC 2047 encoded
// words. Made for file names: inside quotes a backslash before a letter or
// digit stays ("C:\TEMP\a.png" as older Windows mailers wrote it keeps its
// path separators), while \" and \\ are quoted pairs. Nothing when absent.
std::optional<std::string> ParameterText(std::string_view value, std::string_view name);

// The value of a header field in a Name=value list, also when the sender
// wrote no blank after the colon ("Content-Type:text/html"); "" when absent.
std::string FieldValue(const TStringList& headers, std::string_view name);

} // namespace mime
