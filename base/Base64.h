// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Base64 (alphabet A-Z a-z 0-9 + /, pad "=") for every reader and writer of
// it: SASL messages, PKCE, the message coder's lines and MIME bodies. The
// decoders differ only in what they forgive, chosen by TBase64Leniency.
#include <optional>
#include <string>
#include <string_view>

// The standard alphabet, padded with "=".
std::string Base64Encode(std::string_view bytes);

// The URL-safe alphabet without padding (PKCE's BASE64URL).
std::string Base64UrlEncode(std::string_view bytes);

enum class TBase64Leniency {
    // Sign-in: only the alphabet; the pad may be left off, but one that is
    // there completes the last group, and nothing follows it. Anything else
    // refuses the whole text.
    Strict,
    // MIME bodies: line breaks and every other character outside the
    // alphabet are skipped, groups run on over line ends, the first pad ends
    // the data, and a last group without its pad still gives its bytes.
    SkipStray,
    // The message coder's lines: fixed groups of four characters, in which a
    // character outside the alphabet stands for 0; a pad ends its own group
    // only ("QQ==QUJD" is "AABC"), and characters after the last whole group
    // give nothing.
    FixedGroups,
};

// Decodes text piece by piece (the lines of a body as they stream in)
// without keeping the text.
class TBase64Decoder {
public:
    explicit TBase64Decoder(TBase64Leniency leniency) : m_leniency(leniency) {}

    // Appends the bytes of the groups that text completes to out. False once
    // a Strict decoder has refused the text (out may then hold part of it).
    bool Feed(std::string_view text, std::string& out);
    // Ends the text: appends what an unpadded last group holds (FixedGroups
    // drops it), and tells whether the text as a whole decoded. Then ready
    // for a new text.
    bool Finish(std::string& out);
    void Reset();
    // Whether what was fed so far ends on a whole group or at its pad, as
    // complete base64 does.
    bool Complete() const { return m_padded || m_count == 0; }

private:
    TBase64Leniency m_leniency;
    unsigned m_count = 0;  // characters of the current group
    unsigned m_bits = 0;
    unsigned m_pads = 0;   // pads after the current group's characters
    bool m_padded = false; // a pad was read (SkipStray, Strict: the end)
    bool m_failed = false;
};

// A whole text. Nothing only for a Strict text that does not decode.
std::optional<std::string> Base64Decode(std::string_view text,
                                        TBase64Leniency leniency = TBase64Leniency::Strict);
