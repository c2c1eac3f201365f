// SPDX-License-Identifier: GPL-3.0-or-later
// The mechanism table: which row a server's offer and the session's TLS
// choose for each kind of secret, the token rows' first messages and
// answers, and the reading of a server's challenge.
#include "base/Base64.h"
#include "base/Exception.h"
#include "net/Pop3Capabilities.h"
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
        {"token, lower case", {"sasl xoauth2"}, Kind::AccessToken, true, "XOAUTH2"},
        {"password never takes a token row", {"SASL XOAUTH2", "USER"}, Kind::Password, true, nullptr},
        {"password, PLAIN in clear text", {"SASL PLAIN XOAUTH2"}, Kind::Password, false, "PLAIN"},
        {"password, SASL of others without USER: PLAIN", {"SASL CRAM-MD5"}, Kind::Password, false, "PLAIN"},
        {"password, SASL of others beside USER", {"SASL GSSAPI", "USER"}, Kind::Password, true, nullptr},
        {"password, no SASL", {"USER"}, Kind::Password, true, nullptr},
        {"token, SASL of others without USER: no PLAIN", {"SASL CRAM-MD5"}, Kind::AccessToken, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TSaslMechanism* m = ChooseSaslMechanism(TPop3Capabilities::Parse(c.capa).SaslOffer(), c.kind, c.tls);
        EXPECT_EQ(m ? std::string(m->Name) : std::string("(none)"), c.chosen ? c.chosen : "(none)");
    }
}

TEST(SaslTable, TokenFirstMessages)
{
    const std::string token = "at-1.x_y~z+/==";
    const struct {
        const char* mechanism;
        std::string user, token, host;
        int port;
        std::string first; // empty: refused
    } cases[] = {
        {"XOAUTH2", "joe@example.org", token, "h", 995, "user=joe@example.org\x01" "auth=Bearer at-1.x_y~z+/==\x01\x01"},
        {"OAUTHBEARER", "a,b=c", token, "pop.example", 995,
         "n,a=a=2Cb=3Dc,\x01host=pop.example\x01port=995\x01" "auth=Bearer at-1.x_y~z+/==\x01\x01"},
        {"XOAUTH2", "joe", "at-1", "", 0, "user=joe\x01" "auth=Bearer at-1\x01\x01"},
        {"XOAUTH2", "Jöe,x=y", "a/b+c==", "", 0, "user=Jöe,x=y\x01" "auth=Bearer a/b+c==\x01\x01"},
        {"OAUTHBEARER", "joe", "at-1", "", 0, "n,a=joe,\x01" "auth=Bearer at-1\x01\x01"},
        {"OAUTHBEARER", "a,b=c", "t", "", 0, "n,a=a=2Cb=3Dc,\x01" "auth=Bearer t\x01\x01"},
        // A control character in the user name or host would end a field.
        {"XOAUTH2", "joe\x01" "evil", token, "h", 995, ""},
        {"OAUTHBEARER", "joe", token, "h\r\nx", 995, ""},
        {"OAUTHBEARER", "joe", "t", "pop\r\nQUIT", 110, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mechanism + std::string(" ") + c.user);
        const TSignInSecret secret{TSignInSecret::Kind::AccessToken, c.token};
        const TSaslInput in{c.user, secret, c.host, c.port};
        if (c.first.empty())
            EXPECT_THROW(row(c.mechanism).First(in), Exception);
        else
            EXPECT_EQ(row(c.mechanism).First(in), c.first);
    }
    // The examples of the two mechanisms' descriptions, as they go on the wire.
    const TSignInSecret google{TSignInSecret::Kind::AccessToken, "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"};
    EXPECT_EQ(Base64Encode(row("XOAUTH2").First({"someuser@example.com", google, "", 0})),
              "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNrQmhkSFJoZG1se"
              "mRHRXVZMjl0Q2cBAQ==");
    const TSignInSecret bearer{TSignInSecret::Kind::AccessToken, "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="};
    EXPECT_EQ(Base64Encode(row("OAUTHBEARER").First({"user@example.com", bearer, "server.example.com", 143})),
              "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVhcmVyIHZGOWRmdDRxbVRj"
              "Mk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB");

    // A token with a blank, a stray "=" or a control code could split the
    // message; the refusal names neither the user nor the token.
    for (const char* mechanism : {"XOAUTH2", "OAUTHBEARER"})
        for (const char* bad : {"", "a b", "a\x01", "=abc", "ab=c", "=", "t\x01"}) {
            const TSignInSecret t{TSignInSecret::Kind::AccessToken, bad};
            try {
                row(mechanism).First({"joe", t, "h", 995});
                ADD_FAILURE() << mechanism << " took " << bad;
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()).find("joe"), std::string::npos) << e.what();
            }
        }
    // The answers to an error challenge that let the server end with -ERR.
    EXPECT_EQ(row("XOAUTH2").Answer("{\"status\":\"401\"}"), "");
    EXPECT_EQ(row("OAUTHBEARER").Answer("{\"status\":\"invalid_token\"}"), "\x01");
    EXPECT_EQ(Base64Encode(row("OAUTHBEARER").Answer("")), "AQ==");
}

TEST(SaslTable, InitialResponseOnTheAuthLine)
{
    // "AUTH XOAUTH2 " + 240 + CRLF is 255 octets.
    EXPECT_TRUE(FitsAuthLine("XOAUTH2", std::string(240, 'A')));
    EXPECT_FALSE(FitsAuthLine("XOAUTH2", std::string(241, 'A')));
}

TEST(SaslTable, Challenges)
{
    const struct {
        std::string text; // after "+ "
        std::optional<std::string> bytes;
    } cases[] = {
        // The error challenge of the XOAUTH2 description (with its newline).
        {"eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIG1hYyIsInNjb3BlIjoiaHR0cHM6Ly9tYWlsLmdvb2dsZS5jb20vIn0K",
         "{\"status\":\"401\",\"schemes\":\"bearer mac\",\"scope\":\"https://mail.google.com/\"}\n"},
        // OAUTHBEARER's.
        {"eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkLWNvbmZpZ3VyYXRpb24iOiJodHRwczov"
         "L2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb25maWd1cmF0aW9uIn0=",
         "{\"status\":\"invalid_token\",\"scope\":\"example_scope\",\"openid-configuration\":"
         "\"https://example.com/.well-known/openid-configuration\"}"},
        {Base64Encode(R"({"status":"invalid_token","scope":"mail"})") + "\r\n",
         R"({"status":"invalid_token","scope":"mail"})"},
        {" " + Base64Encode(R"({"status":"insufficient_scope"})"), R"({"status":"insufficient_scope"})"},
        {"", ""},
        {"!!!", std::nullopt},
        {"eyJz dGF0", std::nullopt},
        {"QQ==QQ==", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeSaslChallenge(c.text), c.bytes) << c.text;
}

} // namespace
