#include "ui/oauth_sign_in_dialog.h"

#include "app/core/filter_app.h"
#include "app/core/localizable.h"
#include "app/qt/oauth_sign_in.h"
#include "store/oauth_client_defaults.h"
#include "ui/text_conv.h"
#include "ui/widget_localizer.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kFirstTextId = 18170;
// Control ids, in the order of their texts from kFirstTextId + 1 on.
constexpr int kIntro = 1, kAuthorizationLabel = 2, kTokenLabel = 3, kScopeLabel = 4, kOpen = 5,
              kCancel = 6;
constexpr int kWaitingText = 18177;
constexpr int kNotCompleteText = 18178;
constexpr int kNotStartedText = 18179;
constexpr int kNoProviderText = 18182;
constexpr int kNotStoredText = 18183;
constexpr int kClientIdText = 18163;
constexpr int kClientSecretText = 1010;

QLabel* Named(QLabel* label, int id) {
    label->setObjectName(QString::number(id));
    label->setWordWrap(true);
    return label;
}
} // namespace

COAuthSignInDialog::COAuthSignInDialog(CFilterApp& app, const OAuthAccount& account,
                                       const QString& reason, QWidget* parent)
    : QDialog(parent), app_(app), account_(account) {
    setWindowTitle("OAuth 2.0 Sign-in");
    FillOAuthEndpoints(account_);
    auto* layout = new QVBoxLayout(this);
    if (!reason.isEmpty()) {
        auto* why = new QLabel(reason, this);
        why->setWordWrap(true);
        why->setTextFormat(Qt::PlainText); // the provider's words are never markup
        layout->addWidget(why);
    }
    layout->addWidget(Named(new QLabel("Drossgate opens your provider's sign-in page in your "
                                       "browser. Sign in there and allow Drossgate to read your "
                                       "mail; this window closes by itself when it is done.",
                                       this),
                            kIntro));
    auto* form = new QFormLayout;
    authorizationUrl_ = new QLineEdit(ToQString(account_.Client.AuthorizationUrl), this);
    tokenUrl_ = new QLineEdit(ToQString(account_.Client.TokenUrl), this);
    scope_ = new QLineEdit(ToQString(account_.Client.Scope), this);
    form->addRow(Named(new QLabel("Authorization URL", this), kAuthorizationLabel),
                 authorizationUrl_);
    form->addRow(Named(new QLabel("Token URL", this), kTokenLabel), tokenUrl_);
    form->addRow(Named(new QLabel("Scope", this), kScopeLabel), scope_);
    // A sign-in whose client was lost with its line in OAuth.txt is asked
    // for it here; otherwise the account page has it.
    if (account_.Client.ClientId.empty()) {
        clientId_ = new QLineEdit(this);
        clientSecret_ = new QLineEdit(this);
        clientSecret_->setEchoMode(QLineEdit::Password);
        form->addRow(new QLabel(LocalText(app_, kClientIdText), this), clientId_);
        form->addRow(new QLabel(LocalText(app_, kClientSecretText), this), clientSecret_);
    }
    layout->addLayout(form);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    layout->addWidget(status_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    open_ = new QPushButton("Open Browser", this);
    open_->setObjectName(QString::number(kOpen));
    open_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName(QString::number(kCancel));
    buttons->addWidget(open_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 80);
    for (QLineEdit* field : {authorizationUrl_, tokenUrl_, scope_})
        field->setCursorPosition(0); // an address is read from its start

    connect(open_, &QPushButton::clicked, this, &COAuthSignInDialog::StartSignIn);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (app_.TokenEndpoint) {
        signIn_ = new COAuthSignIn(*app_.TokenEndpoint, this);
        connect(signIn_, &COAuthSignIn::Finished, this, &COAuthSignInDialog::OnFinished);
        // A closed window ends the wait: the loopback port closes with it.
        connect(this, &QDialog::finished, signIn_, &COAuthSignIn::Cancel);
    }
    Localize();
    if (!signIn_) {
        open_->setEnabled(false);
        status_->setText(LocalText(app_, kNoProviderText));
    }
}

COAuthSignInDialog::~COAuthSignInDialog() = default;

void COAuthSignInDialog::Localize() {
    LocalizeWindow(
        app_, this, kFirstTextId,
        {kTitlePseudoId, kIntro, kAuthorizationLabel, kTokenLabel, kScopeLabel, kOpen, kCancel});
}

void COAuthSignInDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Localize();
}

void COAuthSignInDialog::StartSignIn() {
    if (!signIn_)
        return;
    account_.Client.AuthorizationUrl = FromQString(authorizationUrl_->text().trimmed());
    account_.Client.TokenUrl = FromQString(tokenUrl_->text().trimmed());
    account_.Client.Scope = FromQString(scope_->text().simplified());
    if (clientId_) {
        account_.Client.ClientId = FromQString(clientId_->text().trimmed());
        account_.Client.ClientSecret = FromQString(clientSecret_->text());
    }
    QString why;
    if (!signIn_->Start(account_, why)) {
        status_->setText(LocalText(app_, kNotStartedText) + why);
        return;
    }
    open_->setEnabled(false);
    status_->setText(LocalText(app_, kWaitingText));
}

void COAuthSignInDialog::OnFinished(int result, const TokenGrant& grant, const QString& why) {
    open_->setEnabled(true);
    if (result != 1) {
        status_->setText(LocalText(app_, kNotCompleteText) + why);
        return;
    }
    account_.RefreshToken = grant.RefreshToken;
    if (app_.KeepOAuthSignIn(account_, grant) != 1) {
        status_->setText(LocalText(app_, kNotStoredText));
        return;
    }
    accept();
}
