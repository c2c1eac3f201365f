// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/SignInDialog.h"

#include "config/PageParts.h"
#include "core/accounts/OAuthAccount.h"
#include "signin/Providers.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

using configpage::q;

namespace {

std::string text(const QLineEdit* field) { return field->text().trimmed().toStdString(); }

// The preset an account's host points at, for an account not yet signed in.
std::string providerForHost(const std::string& host)
{
    for (const TProviderPreset& p : ProviderPresets())
        if (!p.PopHost.empty() && p.PopHost == host)
            return p.Id;
    return ProviderPresets().front().Id;
}

} // namespace

TSignInDialog::TSignInDialog(TDesktop& desktop, const TPOPAcc& account, QWidget* parent)
    : QDialog(parent), m_desktop(desktop), m_account(account)
{
    setWindowTitle(QStringLiteral("Sign in to ") + q(account.AccName));
    setMinimumWidth(440);

    ProviderBox = new QComboBox(this);
    for (const TProviderPreset& p : ProviderPresets())
        ProviderBox->addItem(q(p.Name), q(p.Id));
    ClientIdTxt = new QLineEdit(this);
    ClientSecretTxt = new QLineEdit(this);
    AuthorizationTxt = new QLineEdit(this);
    TokenTxt = new QLineEdit(this);
    ScopeTxt = new QLineEdit(this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Provider :"), ProviderBox);
    form->addRow(QStringLiteral("Client &id :"), ClientIdTxt);
    form->addRow(QStringLiteral("Client s&ecret :"), ClientSecretTxt);
    form->addRow(QStringLiteral("&Authorization endpoint :"), AuthorizationTxt);
    form->addRow(QStringLiteral("&Token endpoint :"), TokenTxt);
    form->addRow(QStringLiteral("S&cope :"), ScopeTxt);

    StateLbl = new QLabel(this);
    StateLbl->setWordWrap(true);
    StateLbl->setTextInteractionFlags(Qt::TextSelectableByMouse);
    AddressTxt = new QLineEdit(this);
    AddressTxt->setReadOnly(true);
    AddressTxt->hide();

    SignInBtn = new QPushButton(QStringLiteral("&Sign in"), this);
    SignInBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SignInBtn);
    buttons->addWidget(CancelBtn);

    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    page->addWidget(StateLbl);
    page->addWidget(AddressTxt);
    page->addLayout(buttons);

    if (account.OAuth) {
        const TOAuthSettings& o = *account.OAuth;
        ClientIdTxt->setText(q(o.ClientId));
        ClientSecretTxt->setText(q(o.ClientSecret));
        AuthorizationTxt->setText(q(o.AuthorizationEndpoint));
        TokenTxt->setText(q(o.TokenEndpoint));
        ScopeTxt->setText(q(o.Scope));
    }
    const std::string provider = account.OAuth ? account.OAuth->Provider : providerForHost(account.HostName);
    ProviderBox->setCurrentIndex(std::max(0, ProviderBox->findData(q(provider))));
    connect(ProviderBox, &QComboBox::currentIndexChanged, this, [this] { providerChosen(); });
    providerChosen();

    connect(SignInBtn, &QPushButton::clicked, this, [this] { SignInClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelClick(); });
}

TSignInDialog::~TSignInDialog() { endFlow(); }

void TSignInDialog::endFlow()
{
    m_stop = true;
    // The flow asks the stop flag every 100 ms, in each of its waits.
    if (m_flow.joinable())
        m_flow.join();
}

void TSignInDialog::providerChosen()
{
    const TProviderPreset* preset = FindProviderPreset(ProviderBox->currentData().toString().toStdString());
    if (!preset)
        return;
    const bool other = preset->AuthorizationEndpoint.empty();
    // A preset's endpoints and scope are the provider's, shown but not typed.
    for (QLineEdit* field : {AuthorizationTxt, TokenTxt, ScopeTxt})
        field->setReadOnly(!other);
    if (!other) {
        AuthorizationTxt->setText(q(preset->AuthorizationEndpoint));
        TokenTxt->setText(q(preset->TokenEndpoint));
        ScopeTxt->setText(q(preset->Scope));
    }
    // Long addresses read from their start.
    for (QLineEdit* field : {AuthorizationTxt, TokenTxt, ScopeTxt})
        field->setCursorPosition(0);
    ClientSecretTxt->setEnabled(preset->UsesClientSecret);
    ClientIdTxt->setPlaceholderText(preset->BuiltInClientId.empty() ? QStringLiteral("as registered with the provider")
                                                                     : QStringLiteral("empty: the one built in"));
    StateLbl->setText(other ? QStringLiteral("Register Tolmu with your identity server, with http://127.0.0.1 as "
                                             "its redirect address, and enter what it gave.")
                            : QStringLiteral("Register Tolmu with the provider (the README says how) and enter "
                                             "the client id it gave."));
}

std::string TSignInDialog::accountToSignIn(TPOPAcc& account) const
{
    const TProviderPreset* preset = FindProviderPreset(ProviderBox->currentData().toString().toStdString());
    if (!preset)
        return "Choose a provider.";
    TOAuthSettings settings;
    settings.Provider = preset->Id;
    settings.AuthorizationEndpoint = text(AuthorizationTxt);
    settings.TokenEndpoint = text(TokenTxt);
    settings.Scope = text(ScopeTxt);
    settings.ClientId = text(ClientIdTxt);
    settings.ClientSecret = preset->UsesClientSecret ? text(ClientSecretTxt) : "";
    // A new sign-in tries the keyring again, even for an account that fell
    // back to the token file before.
    settings.TokenInFile = false;
    if (settings.ClientId.empty() && preset->BuiltInClientId.empty())
        return "Enter the client id you registered with the provider.";
    if (settings.AuthorizationEndpoint.empty() || settings.TokenEndpoint.empty())
        return "Enter the provider's authorization and token endpoints.";
    if (settings.Scope.empty())
        return "Enter the scope the mail server asks for.";
    account = m_account;
    if (account.HostName.empty()) {
        if (preset->PopHost.empty())
            return "Enter the host of the POP3 server on the Accounts page.";
        account.HostName = preset->PopHost;
        account.PortNumber = preset->PopPort;
    }
    account.OAuth = settings;
    return "";
}

void TSignInDialog::SignInClick()
{
    if (m_flow.joinable())
        return;
    TPOPAcc account;
    const std::string problem = accountToSignIn(account);
    if (!problem.empty()) {
        StateLbl->setText(q(problem));
        return;
    }
    setWaiting(true);
    StateLbl->setText(QStringLiteral("Starting the sign-in..."));
    m_stop = false;
    // Answers come back through the event queue and are dropped once this
    // window is gone.
    QPointer<TSignInDialog> self(this);
    m_flow = std::thread([this, self, account]() mutable {
        std::string error;
        bool inFile = false;
        try {
            inFile = SignInAccount(
                account,
                [self](const std::string& url) {
                    QMetaObject::invokeMethod(
                        self, [self, url] { self->browserAddress(url); }, Qt::QueuedConnection);
                },
                [this] { return m_stop.load(); });
        } catch (const std::exception& e) {
            error = e.what();
        }
        QMetaObject::invokeMethod(
            self, [self, account, inFile, error] { self->signInEnded(account, inFile, error); },
            Qt::QueuedConnection);
    });
}

void TSignInDialog::browserAddress(const std::string& url)
{
    AddressTxt->setText(q(url));
    AddressTxt->setCursorPosition(0);
    AddressTxt->show();
    StateLbl->setText(m_desktop.OpenUrl(url)
                          ? QStringLiteral("Waiting for the browser: sign in there and allow Tolmu to read your "
                                           "mail. If no browser opened, open this address:")
                          : QStringLiteral("No browser could be opened: open this address in a browser and sign "
                                           "in there."));
}

void TSignInDialog::signInEnded(const TPOPAcc& account, bool inFile, const std::string& error)
{
    if (m_flow.joinable())
        m_flow.join();
    setWaiting(false);
    AddressTxt->hide();
    if (m_stop) {
        QDialog::reject();
        return;
    }
    if (!error.empty()) {
        StateLbl->setText(QStringLiteral("The sign-in failed: ") + q(error));
        return;
    }
    m_account = account;
    m_fellBackToFile = inFile;
    accept();
}

void TSignInDialog::setWaiting(bool waiting)
{
    for (QWidget* w : std::initializer_list<QWidget*>{ProviderBox, ClientIdTxt, ClientSecretTxt, AuthorizationTxt,
                                                       TokenTxt, ScopeTxt, SignInBtn})
        w->setEnabled(!waiting);
    if (!waiting)
        providerChosen();
}

void TSignInDialog::CancelClick()
{
    if (!m_flow.joinable()) {
        QDialog::reject();
        return;
    }
    // The flow ends within a poll slice; its end closes the window.
    m_stop = true;
    StateLbl->setText(QStringLiteral("Cancelling..."));
    CancelBtn->setEnabled(false);
}

void TSignInDialog::reject() { CancelClick(); }
