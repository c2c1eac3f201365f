// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Accounts page of the configuration dialog: the account list, the
// fields of the account chosen or being typed, and its status. Every change
// goes to the account store, which writes Accounts.ini at once
// (core/AccountEdit holds the rules).
#include "core/accounts/AccountEdit.h"
#include "core/window/Ports.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TSignInDialog;

class TAccountsPane : public QWidget {
public:
    TAccountsPane(TPrompt& prompt, TDesktop& desktop, TAccountStore& accounts, QWidget* parent);

    // As the dialog opens: every account listed, none chosen, empty fields
    // with port 110, neither status marked, the Security of a new account.
    void Reset();
    // Enter in the page: Modify for a chosen account, else Add.
    void EnterPressed();

    // Adds the account typed (a refusal shows its reasons, one box each).
    void AddAccClick();
    // Stores the fields and status over the chosen account.
    void ModifyClick();
    void DelAccClick();
    // Shows the chosen account's fields and status.
    void LstAccClick();
    // Signs the account typed (or chosen) in with OAuth2 in the browser,
    // in its own window, and stores it as an OAuth2 account once signed in:
    // a new one, or over the chosen one, whose password then leaves the
    // files and the keyring.
    void SignInClick();
    // Marks the chosen account active or inactive.
    void ChkActClick();
    void ChkInactClick();

    QListWidget* LstAcc = nullptr;
    QLineEdit* NAccount = nullptr;
    QLineEdit* HostTxt = nullptr;
    QLineEdit* UserName = nullptr;
    QLineEdit* Password = nullptr;
    QLineEdit* PortTxt = nullptr;
    QPushButton* AddAcc = nullptr;
    QPushButton* DelAcc = nullptr;
    QPushButton* Modify = nullptr;
    // "Sign in...", beside the port.
    QPushButton* SignIn = nullptr;
    // The sign-in window while it is open, else nullptr.
    TSignInDialog* SignInWindow = nullptr;
    QRadioButton* ChkAct = nullptr;
    QRadioButton* ChkInact = nullptr;
    // "Keep the password in the desktop keyring".
    QCheckBox* ChkKeyring = nullptr;
    // How the account's sessions are protected: the four SecurityText
    // texts, in the order of TSecurity.
    QComboBox* SecurityBox = nullptr;

private:
    // The keyring box: made below the status, ticked for a new account when
    // a Secret Service answered as the page was made (asked once, bounded).
    void makeKeyringBox();
    void showKeyringChoice(const TPOPAcc* account);
    bool m_keyringAnswers = false;

    void RefreshAccountList();
    void listAccounts();
    void clearAccountFields();
    void setStatusButtons(bool checkedAct, bool checkedInact);
    void showMessages(const std::vector<std::string>& texts);
    // The 1-based index of the account chosen; 0 when none is.
    int32_t selectedAccount() const;
    TAccountFields fieldsShown() const;

    // The Security choice. Until the user picks one it follows the fields:
    // a chosen account shows its own (unset: the default for the port
    // typed), a new one what ProposedSecurity gives for the host and port.
    void makeSecurityBox();
    void followSecurity();
    // What Add or Modify stores: the pick, or for a new account a proposal
    // that differs from its port's default; else nothing, so that the
    // account keeps its own choice or the default.
    std::optional<TSecurity> securityToStore() const;

    TPrompt& m_prompt;
    TDesktop& m_desktop;
    TAccountStore& m_accounts;
    bool m_securityPicked = false;
};
