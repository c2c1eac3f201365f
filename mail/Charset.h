// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text from mail turned into UTF-8: charsets converted with the C library's
// iconv (no tables of our own), and the encoded words of RFC 2047 that
// senders put in From, Subject and file names.
#include <string>
#include <string_view>

namespace mime {

// bytes in charset (a MIME charset name in any letter case) as UTF-8.
// Sequences the charset cannot read become U+FFFD. An empty, unknown or
// ASCII label means "unlabelled": the bytes are taken as UTF-8 when they
// are valid UTF-8, else as Windows-1252, the usual unlabelled 8-bit text.
// The labels mail programs write for a charset under other names
// ("ks_c_5601-1987", "x-gbk", "x-sjis", "unicode-1-1-utf-7") are read as
// that charset, and a label for a charset that senders fill with its
// Windows superset (ISO-8859-1, EUC-KR, GB2312, Shift_JIS) as the
// superset. Never throws.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// Whether bytes are well-formed UTF-8.
bool IsUtf8(std::string_view bytes);

// A header value with its encoded words ("=?charset?Q?...?=" and
// "=?charset?B?...?=", an RFC 2231 language suffix allowed) decoded to
// UTF-8; blanks between two adjacent encoded words are dropped. Text
// outside encoded words is taken as ToUtf8 with no label. Malformed words
// stay as they are. Never throws.
std::string DecodeEncodedWords(std::string_view value);

} // namespace mime
