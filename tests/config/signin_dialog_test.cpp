// SPDX-License-Identifier: GPL-3.0-or-later
// The Accounts page's "Sign in..." against the identity server written for
// the tests, the test playing the browser the desktop is asked to open. The
// test's session bus has no keyring, so tokens go to the token file.
#include "config/SignInDialog.h"
#include "core/accounts/Credentials.h"
#include "tests/config/DialogFixture.h"
#include "tests/support/IdentityServer.h"

#include <QPointer>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using testsupport::IdentityServer;

class SignInDialog : public testsupport::Dialog {
protected:
    void SetUp() override
    {
        DialogBase::SetUp();
        ::setenv("XDG_DATA_HOME", (m_dir + "data").c_str(), 1);
        identity = std::make_unique<IdentityServer>("joe");
        desktop.browser = [this](const std::string& url) {
            if (m_browser.joinable())
                m_browser.join();
            m_browser = std::thread([url] { testsupport::PlayBrowser(url); });
        };
        dialog().show();
        dialog().AccBtnClick();
    }
    void TearDown() override
    {
        if (m_browser.joinable())
            m_browser.join();
        ::unsetenv("XDG_DATA_HOME");
        DialogBase::TearDown();
    }

    TAccountsPane& pane() { return *dialog().PopPan; }

    // Presses "Sign in..." with steps done in the window it opens; a window
    // still open after 30 s is cancelled, so that a fault fails the test
    // rather than hanging it. Returns once the window closed.
    void signIn(const std::function<void(TSignInDialog&)>& steps)
    {
        QTimer::singleShot(0, [&] {
            ASSERT_NE(pane().SignInWindow, nullptr);
            QPointer<TSignInDialog> window(pane().SignInWindow);
            QTimer::singleShot(30000, [window] {
                if (window)
                    window->CancelClick();
            });
            steps(*window);
        });
        QTest::mouseClick(pane().SignIn, Qt::LeftButton);
    }
    // Chooses "Other provider" with the test server's endpoints.
    void typeOther(TSignInDialog& s, const std::string& clientId = "tolmu-test")
    {
        s.ProviderBox->setCurrentIndex(s.ProviderBox->count() - 1);
        type(s.AuthorizationTxt, QString::fromStdString(identity->Url("/authorize")));
        type(s.TokenTxt, QString::fromStdString(identity->Url("/token")));
        type(s.ClientIdTxt, QString::fromStdString(clientId));
        type(s.ScopeTxt, "mail");
    }
    static void waitFor(const std::function<bool()>& done)
    {
        for (int i = 0; i < 300 && !done(); ++i)
            QTest::qWait(50);
    }

    std::unique_ptr<IdentityServer> identity;
    std::thread m_browser;
};

TEST_F(SignInDialog, ANewAccountSignsInInTheBrowserAndItsTokenServesTheChecks)
{
    fill("work", "127.0.0.1", "995");
    type(pane().UserName, "joe");
    type(pane().Password, "");
    signIn([&](TSignInDialog& s) {
        typeOther(s);
        QTest::mouseClick(s.SignInBtn, Qt::LeftButton);
    });

    ASSERT_EQ(accounts->Count(), 1) << (prompt.shown.empty() ? "" : prompt.shown.back());
    const TPOPAcc acc = accounts->Account(1);
    ASSERT_TRUE(acc.OAuth);
    EXPECT_EQ(acc.OAuth->Provider, "other");
    EXPECT_EQ(acc.OAuth->TokenEndpoint, identity->Url("/token"));
    EXPECT_TRUE(acc.OAuth->TokenInFile);
    EXPECT_EQ(acc.PortNumber, 995);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0].rfind(identity->Url("/authorize?"), 0), 0u) << desktop.opened[0];

    // The file fallback is said once, naming the file, which only the user reads.
    const std::string tokens = m_dir + "data/tolmu/oauth2-tokens.json";
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.shown[0].find("No desktop keyring answers"), std::string::npos) << prompt.shown[0];
    EXPECT_NE(prompt.shown[0].find(tokens), std::string::npos) << prompt.shown[0];
    struct stat st {};
    ASSERT_EQ(::stat(tokens.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Accounts.ini keeps an empty password line; the settings hold no token.
    const std::string ini = readFile(accounts->Path());
    EXPECT_NE(ini.find("password = \r\n"), std::string::npos) << ini;
    EXPECT_EQ(readFile(accounts->ExtraPath()).find("rt-"), std::string::npos);

    // A session of this process gets an access token from the kept grant.
    const TSignInSecret secret = StoredPasswords().SecretForSession(acc, 10);
    EXPECT_EQ(secret.SecretKind, TSignInSecret::Kind::AccessToken);
    EXPECT_EQ(identity->Stats()["code_grants"], 1);
    EXPECT_EQ(identity->Stats()["refresh_grants"], 1);
}

TEST_F(SignInDialog, APasswordAccountSignedInLosesItsPasswordAndATypedOneBringsItBack)
{
    fill("home", "127.0.0.1", "995");
    QTest::mouseClick(pane().AddAcc, Qt::LeftButton);
    select(0);
    QTest::mouseClick(pane().ChkInact, Qt::LeftButton);
    ASSERT_TRUE(accounts->Account(1).Inactive);

    select(0);
    signIn([&](TSignInDialog& s) {
        typeOther(s);
        QTest::mouseClick(s.SignInBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(accounts->Account(1).OAuth);
    EXPECT_TRUE(accounts->Account(1).Inactive);
    EXPECT_EQ(accounts->Account(1).Password, "");
    EXPECT_NE(readFile(accounts->Path()).find("password = \r\n"), std::string::npos);

    const std::string tokens = m_dir + "data/tolmu/oauth2-tokens.json";
    EXPECT_NE(readFile(tokens).find("rt-"), std::string::npos);

    // Chosen again, it shows no password; one typed makes it a password
    // account once more, and its sign-in is not left behind.
    select(0);
    EXPECT_EQ(pane().Password->text(), "");
    EXPECT_FALSE(pane().Password->placeholderText().isEmpty());
    type(pane().Password, "again");
    QTest::mouseClick(pane().Modify, Qt::LeftButton);
    EXPECT_FALSE(accounts->Account(1).OAuth);
    EXPECT_EQ(accounts->Account(1).Password, "again");
    EXPECT_EQ(readFile(tokens).find("rt-"), std::string::npos) << readFile(tokens);
}

TEST_F(SignInDialog, NothingIsStoredUntilTheBrowserCameBackAndCancelEndsTheWait)
{
    // Refused before any window opens: the page's own checks.
    type(pane().NAccount, "work");
    QTest::mouseClick(pane().SignIn, Qt::LeftButton);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], FillAllFields);

    type(pane().UserName, "joe");
    type(pane().HostTxt, "127.0.0.1");
    struct Row {
        const char* what;
        std::function<void(TSignInDialog&)> choose;
        const char* shown; // in the window's state line
    } rows[] = {
        {"no client id", [&](TSignInDialog& s) { typeOther(s, ""); }, "Enter the client id"},
        {"token endpoint not answering",
         [&](TSignInDialog& s) {
             typeOther(s);
             type(s.TokenTxt, "http://127.0.0.1:1/token");
         },
         "The sign-in failed:"},
        {"refused client", [&](TSignInDialog& s) { typeOther(s, "someone-else"); }, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QString state;
        bool cancelled = false;
        signIn([&](TSignInDialog& s) {
            r.choose(s);
            QTest::mouseClick(s.SignInBtn, Qt::LeftButton);
            if (r.shown) {
                waitFor([&] { return s.SignInBtn->isEnabled() && s.StateLbl->text().contains(r.shown); });
                state = s.StateLbl->text();
                QTest::mouseClick(s.CancelBtn, Qt::LeftButton);
                return;
            }
            // The identity server refuses the client, so the browser never
            // comes back: Cancel ends the wait and closes the window.
            waitFor([&] { return s.AddressTxt->isVisible(); });
            EXPECT_FALSE(s.SignInBtn->isEnabled());
            QTest::mouseClick(s.CancelBtn, Qt::LeftButton);
            cancelled = true;
        });
        if (r.shown)
            EXPECT_TRUE(state.contains(r.shown)) << state.toStdString();
        else
            EXPECT_TRUE(cancelled);
        EXPECT_EQ(accounts->Count(), 0);
        EXPECT_EQ(pane().SignInWindow, nullptr);
    }
    EXPECT_EQ(identity->Stats()["code_grants"], 0);
}

} // namespace
