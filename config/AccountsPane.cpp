// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/AccountsPane.h"

#include "config/PageParts.h"
#include "config/SignInDialog.h"
#include "core/accounts/AccountsExtra.h"
#include "core/accounts/OAuthAccount.h"
#include "net/TlsStream.h"
#include "signin/Keyring.h"

#include <QGroupBox>

using configpage::edit;
using configpage::label;
using configpage::q;

TAccountsPane::TAccountsPane(TPrompt& prompt, TDesktop& desktop, TAccountStore& accounts, QWidget* parent)
    : QWidget(parent), m_prompt(prompt), m_desktop(desktop), m_accounts(accounts)
{
    QWidget* p = this;
    LstAcc = new QListWidget(p);
    LstAcc->setGeometry(0, 6, 112, 124);

    auto* info = new QGroupBox(QStringLiteral(" Account Info : "), p);
    info->setGeometry(118, 0, 202, 150);
    NAccount = edit(info, 70, 20, 124);
    label(info, QStringLiteral("&Name :"), 8, 23, NAccount);
    HostTxt = edit(info, 70, 45, 124);
    label(info, QStringLiteral("&Host : "), 8, 48, HostTxt);
    UserName = edit(info, 70, 70, 124);
    label(info, QStringLiteral("&Login : "), 8, 73, UserName);
    Password = edit(info, 70, 95, 124);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    label(info, QStringLiteral("&Passwd : "), 8, 98, Password);
    PortTxt = edit(info, 70, 120, 60);
    label(info, QStringLiteral("Por&t :"), 8, 123, PortTxt);
    SignIn = new QPushButton(QStringLiteral("Sign &in..."), info);
    SignIn->setGeometry(134, 118, 62, 24);
    SignIn->setToolTip(QStringLiteral("Sign in with the provider in the browser (OAuth2) instead of a password"));

    AddAcc = new QPushButton(QStringLiteral("&Add"), p);
    AddAcc->setGeometry(118, 156, 64, 25);
    Modify = new QPushButton(QStringLiteral("&Modify"), p);
    Modify->setGeometry(187, 156, 64, 25);
    DelAcc = new QPushButton(QStringLiteral("&Remove"), p);
    DelAcc->setGeometry(256, 156, 64, 25);

    auto* status = new QGroupBox(QStringLiteral(" Account Status "), p);
    status->setGeometry(0, 134, 112, 64);
    ChkAct = new QRadioButton(QStringLiteral("Active"), status);
    ChkAct->move(12, 18);
    ChkInact = new QRadioButton(QStringLiteral("Inactive"), status);
    ChkInact->move(12, 40);

    makeSecurityBox();
    makeKeyringBox();
}

void TAccountsPane::makeSecurityBox()
{
    // The page's full width: the longest text needs more than the fields'.
    SecurityBox = new QComboBox(this);
    SecurityBox->setGeometry(70, 202, 250, 24);
    label(this, QStringLiteral("&Security :"), 0, 206, SecurityBox);
    for (const TSecurity s : {TSecurity::TlsFirstByte, TSecurity::TlsWhenOffered, TSecurity::TlsRequired,
                              TSecurity::Unencrypted})
        SecurityBox->addItem(q(std::string(SecurityText(s))), static_cast<int>(s));
    connect(SecurityBox, &QComboBox::activated, this, [this] { m_securityPicked = true; });
    connect(HostTxt, &QLineEdit::textChanged, this, [this] { followSecurity(); });
    connect(PortTxt, &QLineEdit::textChanged, this, [this] { followSecurity(); });
    followSecurity();
}

void TAccountsPane::followSecurity()
{
    if (m_securityPicked)
        return;
    const int32_t tlsPort = TlsPortFromEnvironment();
    // A port being typed (or mistyped) counts as the plain port until it reads.
    const int32_t port = ParsePortText(PortTxt->text().toStdString()).value_or(110);
    const int32_t index = selectedAccount();
    const TSecurity shown = index != 0
        ? m_accounts.Account(index).Security.value_or(
              DefaultSecurity(m_accounts.Account(index).HostName, port, tlsPort))
        : ProposedSecurity(HostTxt->text().toStdString(), port, tlsPort);
    SecurityBox->setCurrentIndex(SecurityBox->findData(static_cast<int>(shown)));
}

std::optional<TSecurity> TAccountsPane::securityToStore() const
{
    const auto shown = static_cast<TSecurity>(SecurityBox->currentData().toInt());
    if (m_securityPicked)
        return shown;
    const std::optional<int32_t> port = ParsePortText(PortTxt->text().toStdString());
    // A new account keeps any choice stricter than "TLS when offered" in
    // the file, so that it reads the same to every copy of Tolmu.
    if (selectedAccount() == 0 && port && shown != DefaultSecurity("localhost", *port, TlsPortFromEnvironment()))
        return shown;
    return std::nullopt;
}

void TAccountsPane::makeKeyringBox()
{
    ChkKeyring = new QCheckBox(QStringLiteral("Keep the password in the desktop keyring"), this);
    ChkKeyring->setGeometry(0, 230, 320, 20);
    // A desktop without a Secret Service answers at once; a stuck one costs
    // this page a second at most.
    m_keyringAnswers = KeyringAvailable(1000);
    showKeyringChoice(nullptr);
}

void TAccountsPane::showKeyringChoice(const TPOPAcc* account)
{
    if (!account) {
        ChkKeyring->setChecked(m_keyringAnswers);
        ChkKeyring->setEnabled(true);
        return;
    }
    ChkKeyring->setChecked(account->SecretPlace == TPOPAcc::TSecretPlace::Keyring);
    // An OAuth2 account has no password: one typed turns it back into a
    // password account, kept where the box then says.
    ChkKeyring->setEnabled(true);
    if (account->OAuth)
        ChkKeyring->setChecked(m_keyringAnswers);
}

void TAccountsPane::Reset()
{
    setStatusButtons(false, false);
    clearAccountFields();
    LstAcc->clear();
    listAccounts();
}

void TAccountsPane::EnterPressed()
{
    if (selectedAccount() != 0)
        ModifyClick();
    else
        AddAccClick();
}

void TAccountsPane::setStatusButtons(bool checkedAct, bool checkedInact)
{
    // Radio buttons that exclude each other cannot both be cleared.
    ChkAct->setAutoExclusive(false);
    ChkInact->setAutoExclusive(false);
    ChkAct->setChecked(checkedAct);
    ChkInact->setChecked(checkedInact);
    ChkAct->setAutoExclusive(true);
    ChkInact->setAutoExclusive(true);
}

void TAccountsPane::clearAccountFields()
{
    m_securityPicked = false;
    NAccount->clear();
    HostTxt->clear();
    UserName->clear();
    Password->clear();
    Password->setPlaceholderText({});
    PortTxt->setText(QStringLiteral("110"));
    if (ChkKeyring)
        showKeyringChoice(nullptr);
    followSecurity();
}

void TAccountsPane::showMessages(const std::vector<std::string>& texts)
{
    for (const std::string& text : texts)
        m_prompt.Message(text, TPrompt::Icon::Information);
}

TAccountFields TAccountsPane::fieldsShown() const
{
    return {NAccount->text().toStdString(), HostTxt->text().toStdString(), UserName->text().toStdString(),
            Password->text().toStdString(), PortTxt->text().toStdString(), ChkKeyring->isChecked(), securityToStore()};
}

int32_t TAccountsPane::selectedAccount() const
{
    const QListWidgetItem* item = LstAcc->currentItem();
    return item && item->isSelected() ? LstAcc->row(item) + 1 : 0;
}

void TAccountsPane::listAccounts()
{
    for (int32_t i = 1; i <= m_accounts.Count(); ++i) {
        const TPOPAcc& acc = m_accounts.Account(i);
        if (acc.Broken.empty()) {
            LstAcc->addItem(q(acc.AccName));
            continue;
        }
        // Kept, never checked, until someone mends it: say why here.
        auto* item = new QListWidgetItem(q(acc.AccName + " (cannot be used)"), LstAcc);
        item->setToolTip(q(acc.Broken));
    }
}

void TAccountsPane::RefreshAccountList()
{
    LstAcc->clear();
    listAccounts();
    clearAccountFields();
}

void TAccountsPane::AddAccClick()
{
    const std::vector<std::string> shown = AddAccount(m_accounts, fieldsShown());
    if (!shown.empty()) {
        showMessages(shown);
        return;
    }
    RefreshAccountList();
    NAccount->setFocus();
}

void TAccountsPane::ModifyClick()
{
    const int32_t index = selectedAccount();
    if (index == 0)
        return;
    const std::vector<std::string> shown = ModifyAccount(m_accounts, index, fieldsShown(), ChkInact->isChecked());
    if (!shown.empty()) {
        showMessages(shown);
        return;
    }
    setStatusButtons(!ChkInact->isChecked(), ChkInact->isChecked());
    RefreshAccountList();
}

void TAccountsPane::DelAccClick()
{
    if (RemoveAccount(m_accounts, selectedAccount()))
        RefreshAccountList();
}

void TAccountsPane::LstAccClick()
{
    const int32_t index = selectedAccount();
    if (index == 0)
        return;
    const TPOPAcc& acc = m_accounts.Account(index);
    m_securityPicked = false;
    NAccount->setText(q(acc.AccName));
    HostTxt->setText(q(acc.HostName));
    UserName->setText(q(acc.UserName));
    Password->setText(q(acc.Password));
    Password->setPlaceholderText(acc.OAuth ? QStringLiteral("signed in (OAuth2)") : QString());
    PortTxt->setText(QString::number(acc.PortNumber));
    setStatusButtons(!acc.Inactive, acc.Inactive);
    showKeyringChoice(&acc);
    followSecurity();
}

void TAccountsPane::SignInClick()
{
    const int32_t index = selectedAccount();
    const TAccountFields fields = fieldsShown();
    const std::vector<std::string> shown = CheckSignInFields(m_accounts, index, fields);
    if (!shown.empty()) {
        showMessages(shown);
        return;
    }
    TSignInDialog window(m_desktop, SignInAccountFrom(m_accounts, index, fields), this);
    SignInWindow = &window;
    const bool signedIn = window.exec() == QDialog::Accepted;
    SignInWindow = nullptr;
    if (!signedIn)
        return;
    const TPOPAcc& account = window.SignedIn();
    if (index == 0)
        m_accounts.Add(account);
    else
        m_accounts.Modify(index, account);
    RefreshAccountList();
    if (window.TokenInFile())
        m_prompt.Message("No desktop keyring answers: the sign-in of " + account.AccName + " is kept in " +
                             RefreshTokensOf(*account.OAuth).FilePath() +
                             ", which anyone who can read your files can use.",
                         TPrompt::Icon::Warning);
}

void TAccountsPane::ChkActClick() { SetAccountInactive(m_accounts, selectedAccount(), false); }

void TAccountsPane::ChkInactClick() { SetAccountInactive(m_accounts, selectedAccount(), true); }
