// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Pop3Capabilities.h"

#include <cctype>

namespace {

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The blank-separated words of a line; tabs count as blanks too.
std::vector<std::string> words(std::string_view line)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > at)
            out.emplace_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

} // namespace

TPop3Capabilities TPop3Capabilities::Parse(const std::vector<std::string>& lines)
{
    TPop3Capabilities caps;
    caps.Listed = true;
    for (const std::string& line : lines) {
        const std::vector<std::string> w = words(line);
        if (w.empty())
            continue;
        const std::string name = upper(w[0]);
        if (name == "STLS") {
            caps.Stls = true;
        } else if (name == "USER") {
            caps.User = true;
        } else if (name == "SASL") {
            caps.Sasl = true;
            for (std::size_t i = 1; i < w.size(); ++i)
                caps.SaslMechanisms.push_back(upper(w[i]));
        }
    }
    return caps;
}

std::vector<std::string> TPop3Capabilities::SaslOffer() const
{
    std::vector<std::string> offer = SaslMechanisms;
    if (Sasl && !User)
        offer.emplace_back("PLAIN");
    return offer;
}
