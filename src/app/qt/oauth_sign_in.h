#pragma once
// The OAuth 2.0 sign-in of an installed application (RFC 8252): the system
// browser opens the provider's page, the provider sends the browser back to
// a port of ours on 127.0.0.1 with a code, and the code is exchanged for the
// tokens, PKCE (RFC 7636) proving that the one who asked is the one who
// exchanges. No password ever passes through Drossgate.
//
// Runs on the thread that made it (the window thread); the exchange with the
// token endpoint runs on a thread of its own, so the windows stay live.
#include "platform/oauth_token_endpoint.h"
#include "store/oauth_accounts.h"

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>

class QOAuthHttpServerReplyHandler;

class COAuthSignIn : public QObject {
    Q_OBJECT
  public:
    COAuthSignIn(IOAuthTokenEndpoint& endpoint, QObject* parent = nullptr);
    ~COAuthSignIn() override;

    // Opens the provider's page; the desktop's browser unless replaced (tests).
    std::function<bool(const QUrl&)> OpenBrowser;
    // How long the user has to sign in on the provider's page.
    std::chrono::milliseconds Allowance{std::chrono::minutes(5)};

    // Starts the sign-in of `account` (its client and user name). false when
    // no port could be opened or the browser not started (Finished is not
    // emitted then); the reason is in `why`.
    bool Start(const OAuthAccount& account, QString& why);
    void Cancel();

    // The authorization request as sent to the browser (tests, logs).
    QUrl AuthorizationRequest() const { return request_; }

  signals:
    // Once per sign-in, on this object's thread: 1 signed in (grant holds
    // the tokens), 0 declined, cancelled or timed out, -1 failed; `why` is
    // the provider's or our reason.
    void Finished(int result, const TokenGrant& grant, const QString& why);

  private:
    void Received(const QVariantMap& values);
    void Exchange(const QString& code);
    void Finish(int result, const TokenGrant& grant, const QString& why);

    IOAuthTokenEndpoint& endpoint_;
    QOAuthHttpServerReplyHandler* loopback_ = nullptr;
    QTimer deadline_;
    OAuthAccount account_;
    QString state_, verifier_, redirect_;
    QUrl request_;
    bool running_ = false;
};

// PKCE's S256 challenge of a code verifier: BASE64URL(SHA-256(verifier)).
QString PkceChallenge(const QString& verifier);
