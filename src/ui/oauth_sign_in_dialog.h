#pragma once
// The window of an OAuth 2.0 sign-in: says what happens, shows the
// provider's addresses (filled in from the provider's profile, editable for
// providers Drossgate does not know), opens the browser and waits for it.
// A sign-in that completes is stored at once (KeepOAuthSignIn) and the
// dialog accepts; anything else leaves what was stored as it was.
#include "store/oauth_accounts.h"

#include <QDialog>

class CFilterApp;
class COAuthSignIn;
class QLabel;
class QLineEdit;
class QPushButton;
struct TokenGrant;

class COAuthSignInDialog : public QDialog {
    Q_OBJECT
  public:
    // `account`: type, server, user and client; empty endpoints are taken
    // from the server's provider profile. `reason`, when not empty, is shown
    // first (why the user is asked to sign in again).
    COAuthSignInDialog(CFilterApp& app, const OAuthAccount& account, const QString& reason,
                       QWidget* parent = nullptr);
    ~COAuthSignInDialog() override;

    const OAuthAccount& Account() const { return account_; }
    // The running sign-in, for tests that play the browser.
    COAuthSignIn* SignIn() const { return signIn_; }

  public slots:
    void StartSignIn();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Localize();
    void OnFinished(int result, const TokenGrant& grant, const QString& why);

    CFilterApp& app_;
    OAuthAccount account_;
    COAuthSignIn* signIn_ = nullptr;
    QLineEdit* authorizationUrl_;
    QLineEdit* tokenUrl_;
    QLineEdit* scope_;
    QLineEdit* clientId_ = nullptr; // only when the account has lost its client
    QLineEdit* clientSecret_ = nullptr;
    QLabel* status_;
    QPushButton* open_;
};
