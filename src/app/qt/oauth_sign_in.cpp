#include "app/qt/oauth_sign_in.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QHostAddress>
#include <QOAuthHttpServerReplyHandler>
#include <QPointer>
#include <QRandomGenerator>
#include <QThread>
#include <QUrlQuery>

namespace {

QString RandomText(int bytes) {
    QByteArray random(bytes, '\0');
    QRandomGenerator* source = QRandomGenerator::system();
    for (char& byte : random)
        byte = static_cast<char>(source->bounded(256));
    return QString::fromLatin1(
        random.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// The page the browser shows once it has handed us the code.
constexpr const char* kDonePage =
    "<html><head><meta charset=\"utf-8\"><title>Drossgate</title></head><body>"
    "<p>Drossgate has your sign-in. You can close this page.</p></body></html>";

} // namespace

QString PkceChallenge(const QString& verifier) {
    return QString::fromLatin1(
        QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

COAuthSignIn::COAuthSignIn(IOAuthTokenEndpoint& endpoint, QObject* parent)
    : QObject(parent), endpoint_(endpoint) {
    OpenBrowser = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this,
            [this] { Finish(0, {}, QStringLiteral("no sign-in within the time allowed")); });
}

COAuthSignIn::~COAuthSignIn() = default;

bool COAuthSignIn::Start(const OAuthAccount& account, QString& why) {
    Cancel();
    account_ = account;
    const QUrl authorization(QString::fromStdString(account.Client.AuthorizationUrl));
    if (!authorization.isValid() || authorization.scheme().isEmpty() ||
        account.Client.ClientId.empty()) {
        why = QStringLiteral("the sign-in needs a client ID and the provider's address");
        return false;
    }
    // Only this machine may hand us the code.
    loopback_ = new QOAuthHttpServerReplyHandler(QHostAddress(QHostAddress::LocalHost), 0, this);
    if (!loopback_->isListening()) {
        why = QStringLiteral("no port on 127.0.0.1 to receive the sign-in");
        delete loopback_;
        loopback_ = nullptr;
        return false;
    }
    loopback_->setCallbackText(QString::fromLatin1(kDonePage));
    connect(loopback_, &QAbstractOAuthReplyHandler::callbackReceived, this,
            &COAuthSignIn::Received);
    redirect_ = loopback_->callback();
    state_ = RandomText(16);
    verifier_ = RandomText(32); // 43 characters, as PKCE asks
    // The provider's address may carry parameters of its own (the profile's).
    QUrlQuery query(authorization);
    query.addQueryItem("response_type", "code");
    query.addQueryItem("client_id", QString::fromStdString(account.Client.ClientId));
    query.addQueryItem("redirect_uri", redirect_);
    if (!account.Client.Scope.empty())
        query.addQueryItem("scope", QString::fromStdString(account.Client.Scope));
    query.addQueryItem("state", state_);
    query.addQueryItem("code_challenge", PkceChallenge(verifier_));
    query.addQueryItem("code_challenge_method", "S256");
    if (!account.User.empty())
        query.addQueryItem("login_hint", QString::fromStdString(account.User));
    request_ = authorization;
    request_.setQuery(query);
    running_ = true;
    deadline_.start(Allowance);
    if (!OpenBrowser(request_)) {
        Cancel();
        why = QStringLiteral("the browser could not be opened");
        return false;
    }
    return true;
}

void COAuthSignIn::Cancel() {
    running_ = false;
    deadline_.stop();
    if (loopback_) {
        loopback_->close();
        // Not at once: the browser's page may still be on its way out.
        QTimer::singleShot(std::chrono::seconds(2), loopback_, &QObject::deleteLater);
        loopback_ = nullptr;
    }
}

void COAuthSignIn::Received(const QVariantMap& values) {
    // Anything but the answer to our own request (another page, a forged
    // redirect) is not taken: the state proves which request it answers.
    if (!running_ || values.value("state").toString() != state_)
        return;
    if (values.contains("error")) {
        const QString error = values.value("error").toString();
        const QString description = values.value("error_description").toString();
        Finish(error == "access_denied" ? 0 : -1, {},
               description.isEmpty() ? error : error + ": " + description);
        return;
    }
    const QString code = values.value("code").toString();
    if (code.isEmpty()) {
        Finish(-1, {}, QStringLiteral("the provider sent no code"));
        return;
    }
    deadline_.stop();
    Exchange(code);
}

void COAuthSignIn::Exchange(const QString& code) {
    FormFields form = {{"grant_type", "authorization_code"},
                       {"code", code.toStdString()},
                       {"redirect_uri", redirect_.toStdString()},
                       {"client_id", account_.Client.ClientId},
                       {"code_verifier", verifier_.toStdString()}};
    if (!account_.Client.ClientSecret.empty())
        form.emplace_back("client_secret", account_.Client.ClientSecret);
    const std::string url = account_.Client.TokenUrl;
    QPointer<COAuthSignIn> self(this);
    IOAuthTokenEndpoint* endpoint = &endpoint_;
    QThread* worker = QThread::create([self, endpoint, url, form] {
        TokenGrant grant;
        const int result = endpoint->RequestToken(url, form, grant);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, result, grant] {
                if (!self)
                    return;
                const QString why = QString::fromStdString(
                    grant.Error.empty() ? grant.Description
                                        : grant.Error + (grant.Description.empty() ? "" : ": ") +
                                              grant.Description);
                if (result == 1 && grant.RefreshToken.empty())
                    self->Finish(-1, grant, QStringLiteral("the provider gave no refresh token"));
                else
                    self->Finish(result == 1 ? 1 : -1, grant, why);
            },
            Qt::QueuedConnection);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void COAuthSignIn::Finish(int result, const TokenGrant& grant, const QString& why) {
    if (!running_)
        return;
    Cancel();
    emit Finished(result, grant, why);
}
