// SPDX-License-Identifier: GPL-3.0-or-later
// The mechanism table: which row a server's CAPA and the session's TLS
// choose for each kind of secret, and the token rows' first messages.
#include "base/Exception.h"
#include "net/Sasl.h"

#include <gtest/gtest.h>

namespace {

const TSaslMechanism& row(std::string_view name)
{
    for (const TSaslMechanism& m : SaslMechanisms())
        if (m.Name == name)
            return m;
    throw std::runtime_error("no row " + std::string(name));
}

TEST(SaslTable, TokenRowsOnlyInsideTls)
{
    using Kind = TSignInSecret::Kind;
    const struct {
        const char* what;
        std::vector<std::string> capa;
        Kind kind;
        bool tls;
        const char* chosen; // nullptr: none (USER / PASS, or no token sign-in)
    } cases[] = {
        {"token, both offered, TLS", {"SASL OAUTHBEARER XOAUTH2"}, Kind::AccessToken, true, "XOAUTH2"},
        {"token, bearer only, TLS", {"SASL OAUTHBEARER"}, Kind::AccessToken, true, "OAUTHBEARER"},
        {"token, offered in clear text", {"SASL XOAUTH2 OAUTHBEARER"}, Kind::AccessToken, false, nullptr},
        {"token, no token mechanism", {"SASL PLAIN", "USER"}, Kind::AccessToken, true, nullptr},
        {"password never takes a token row", {"SASL XOAUTH2", "USER"}, Kind::Password, true, nullptr},
        {"password, PLAIN in clear text", {"SASL PLAIN XOAUTH2"}, Kind::Password, false, "PLAIN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TSaslMechanism* m = ChooseSaslMechanism(TPop3Capabilities::Parse(c.capa), c.kind, c.tls);
        EXPECT_EQ(m ? std::string(m->Name) : std::string("(none)"), c.chosen ? c.chosen : "(none)");
    }
}

TEST(SaslTable, TokenFirstMessages)
{
    const TSignInSecret token{TSignInSecret::Kind::AccessToken, "at-1.x_y~z+/=="};
    const struct {
        const char* mechanism;
        const char* user;
        const char* host;
        int port;
        std::string first; // empty: refused
    } cases[] = {
        {"XOAUTH2", "joe@example.org", "h", 995, "user=joe@example.org\x01" "auth=Bearer at-1.x_y~z+/==\x01\x01"},
        {"OAUTHBEARER", "a,b=c", "pop.example", 995,
         "n,a=a=2Cb=3Dc,\x01host=pop.example\x01port=995\x01" "auth=Bearer at-1.x_y~z+/==\x01\x01"},
        {"XOAUTH2", "joe\x01" "evil", "h", 995, ""},
        {"OAUTHBEARER", "joe", "h\r\nx", 995, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mechanism + std::string(" ") + c.user);
        const TSaslInput in{c.user, token, c.host, c.port};
        if (c.first.empty())
            EXPECT_THROW(row(c.mechanism).First(in), Exception);
        else
            EXPECT_EQ(row(c.mechanism).First(in), c.first);
    }
    // A token with a blank or a control code could split the message.
    for (const char* bad : {"", "a b", "a\x01", "=abc", "ab=c"}) {
        const TSignInSecret t{TSignInSecret::Kind::AccessToken, bad};
        EXPECT_THROW(row("XOAUTH2").First({"joe", t, "h", 995}), Exception) << bad;
    }
    // The answers to an error challenge that let the server end with -ERR.
    EXPECT_EQ(row("XOAUTH2").Answer("{\"status\":\"401\"}"), "");
    EXPECT_EQ(row("OAUTHBEARER").Answer("{\"status\":\"invalid_token\"}"), "\x01");
}

} // namespace
