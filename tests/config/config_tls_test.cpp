// SPDX-License-Identifier: GPL-3.0-or-later
// A new account typed into the real dialog, then checked by `tolmu --check`
// against a Dovecot that refuses a clear-text sign-in from a remote client
// (its plain port behind the PROXY relay): the account upgrades with STLS,
// checks, and sends no secret before the handshake.
#include "core/accounts/AccountsExtra.h"
#include "tests/config/DialogFixture.h"
#include "tests/support/Dovecot.h"
#include "tests/support/ProxyRelay.h"
#include "tests/support/RunTolmu.h"
#include "tests/support/TestCerts.h"

#include <memory>
#include <optional>

namespace {

class DialogTls : public testsupport::Dialog {
protected:
    static void SetUpTestSuite()
    {
        s_certs = std::make_unique<testsupport::TestCerts>();
        if (!testsupport::DovecotAvailable())
            return;
        testsupport::DovecotOptions opts;
        opts.tlsCertFile = s_certs->Server().cert;
        opts.tlsKeyFile = s_certs->Server().key;
        opts.refusePlaintext = true;
        opts.proxyListener = true;
        s_dovecot = std::make_unique<testsupport::Dovecot>(opts);
        s_dovecot->AddUser("me", "secret"); // as Dialog::fill types them
        s_dovecot->Deliver("me", "From: Ann <ann@example.test>\r\nSubject: one\r\n\r\nbody\r\n");
    }
    static void TearDownTestSuite()
    {
        s_dovecot.reset();
        s_certs.reset();
    }

    static inline std::unique_ptr<testsupport::TestCerts> s_certs;
    static inline std::unique_ptr<testsupport::Dovecot> s_dovecot;
};

TEST_F(DialogTls, ANewAccountOnThePlainPortOfARefusingServerChecksOverStls)
{
    if (!s_dovecot)
        GTEST_SKIP() << "dovecot is not available";
    struct Row {
        const char* host;
        int picked; // the Security text chosen; -1: left as proposed
        std::optional<TSecurity> stored;
    } rows[] = {
        {"localhost", -1, std::nullopt},
        {"127.0.0.1", 2, TSecurity::TlsRequired},
    };
    TConfig& c = dialog();
    c.show();
    c.AccBtnClick();
    TAccountsPane& pane = *c.PopPan;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.host);
        testsupport::ProxyRelay relay(s_dovecot->ProxyPort());
        fill("strict", r.host, QString::number(relay.Port()));
        if (r.picked >= 0) {
            pane.SecurityBox->setFocus();
            QTest::keyClick(pane.SecurityBox, Qt::Key_Home);
            for (int i = 0; i < r.picked; ++i)
                QTest::keyClick(pane.SecurityBox, Qt::Key_Down);
        }
        QTest::mouseClick(pane.AddAcc, Qt::LeftButton);
        ASSERT_EQ(accounts->Count(), 1) << (prompt.shown.empty() ? "" : prompt.shown.back());
        EXPECT_EQ(accounts->Account(1).Security, r.stored);

        const testsupport::RunResult got =
            testsupport::RunTolmu("SSL_CERT_FILE='" + s_certs->CaFile() + "' LC_ALL=C",
                                  "--check --timeout 10 --config-dir '" + m_dir + "'", m_dir + "stderr");
        EXPECT_EQ(got.status, 0) << got.err << s_dovecot->Log();
        EXPECT_EQ(got.out, "strict : 1\n");
        const std::vector<std::string> sent = relay.ClientBytes();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(testsupport::ProxyRelay::BeforeTls(sent[0]), "CAPA\r\nSTLS\r\n");
        EXPECT_EQ(sent[0].find("secret"), std::string::npos);

        select(0);
        QTest::mouseClick(pane.DelAcc, Qt::LeftButton);
        ASSERT_EQ(accounts->Count(), 0);
    }
    c.hide();
}

} // namespace
