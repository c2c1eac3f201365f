// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Sign in..." window of the Accounts page: the OAuth2 provider (a
// preset, or "Other provider" with its endpoints typed in) and the client
// registered there, then the browser sign-in. The sign-in waits for the
// browser on a thread of its own, so the window keeps painting and its
// Cancel ends the wait; the address goes to the desktop's URL handler and
// is also shown, for a desktop where no browser opens.
#include "core/accounts/Account.h"
#include "core/window/Ports.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <atomic>
#include <string>
#include <thread>

class TSignInDialog : public QDialog {
public:
    // account: the account as the Accounts page's fields make it; the
    // provider and client it signs in with already, if any, are shown.
    TSignInDialog(TDesktop& desktop, const TPOPAcc& account, QWidget* parent);
    // Ends a sign-in still waiting and waits for its thread.
    ~TSignInDialog() override;

    // Once the window was accepted: the account signed in (its OAuth2
    // settings, and the provider's host and port where the page had no
    // host), and whether its refresh token went to the token file because
    // no keyring answered.
    const TPOPAcc& SignedIn() const { return m_account; }
    bool TokenInFile() const { return m_fellBackToFile; }

    QComboBox* ProviderBox = nullptr;
    QLineEdit* ClientIdTxt = nullptr;
    QLineEdit* ClientSecretTxt = nullptr;
    QLineEdit* AuthorizationTxt = nullptr;
    QLineEdit* TokenTxt = nullptr;
    QLineEdit* ScopeTxt = nullptr;
    // What the window is doing, or why the last sign-in failed.
    QLabel* StateLbl = nullptr;
    // The address the browser was sent to, to copy by hand.
    QLineEdit* AddressTxt = nullptr;
    QPushButton* SignInBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Starts the browser sign-in with the choices shown.
    void SignInClick();
    // Ends a waiting sign-in, or closes the window.
    void CancelClick();

    // Esc and the title bar's close box answer as Cancel.
    void reject() override;

private:
    void providerChosen();
    // The account to sign in from the choices, or the reason there is none.
    std::string accountToSignIn(TPOPAcc& account) const;
    void browserAddress(const std::string& url);
    void signInEnded(const TPOPAcc& account, bool inFile, const std::string& error);
    void setWaiting(bool waiting);
    void endFlow();

    TDesktop& m_desktop;
    TPOPAcc m_account;
    bool m_fellBackToFile = false;
    std::thread m_flow;
    std::atomic<bool> m_stop{false};
};
