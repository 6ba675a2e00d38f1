#include "platform/qt/http_token_endpoint.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <future>

struct CHttpTokenEndpoint::Answer {
    std::promise<TokenGrant> Promise;
    std::atomic<bool> Settled{false};
    int Result = -1;
};

namespace {

// The requests' thread and its network access; made at first use, never ended.
QNetworkAccessManager* Network() {
    static QNetworkAccessManager* network = [] {
        auto* thread = new QThread;
        thread->setObjectName("oauth-token");
        auto* manager = new QNetworkAccessManager;
        manager->moveToThread(thread);
        thread->start();
        return manager;
    }();
    return network;
}

bool AllowedUrl(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == "https")
        return true;
    // Plain http only where the request never leaves this machine.
    const QHostAddress address(url.host());
    return url.scheme() == "http" && (url.host() == "localhost" || address.isLoopback());
}

long long Seconds(const QJsonValue& value) {
    if (value.isDouble())
        return static_cast<long long>(value.toDouble());
    bool ok = false;
    const long long seconds = value.toString().toLongLong(&ok);
    return ok ? seconds : 0;
}

} // namespace

int ReadTokenAnswer(int httpStatus, const std::string& body, TokenGrant& grant) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    const QJsonObject answer = document.object();
    if (httpStatus == 200 && answer.value("access_token").isString() &&
        !answer.value("access_token").toString().isEmpty()) {
        grant.AccessToken = answer.value("access_token").toString().toStdString();
        grant.RefreshToken = answer.value("refresh_token").toString().toStdString();
        grant.ExpiresInSeconds = std::max(0LL, Seconds(answer.value("expires_in")));
        return 1;
    }
    if (httpStatus >= 400 && httpStatus < 500 && answer.value("error").isString()) {
        grant.Error = answer.value("error").toString().left(100).toStdString();
        grant.Description = answer.value("error_description").toString().left(200).toStdString();
        return 0;
    }
    grant.Description = httpStatus == 0 ? std::string("no answer")
                                        : "answer " + std::to_string(httpStatus) +
                                              " without a token";
    return -1;
}

CHttpTokenEndpoint::CHttpTokenEndpoint(std::chrono::milliseconds wait) : wait_(wait) {}

int CHttpTokenEndpoint::RequestToken(const std::string& url, const FormFields& form,
                                     TokenGrant& grant) {
    grant = {};
    const QUrl target(QString::fromStdString(url));
    if (!AllowedUrl(target)) {
        grant.Description = "the token endpoint is not an https address";
        return -1;
    }
    QByteArray body;
    for (const auto& [name, value] : form) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(QString::fromStdString(name)) + '=' +
                QUrl::toPercentEncoding(QString::fromStdString(value));
    }
    QNetworkAccessManager* network = Network();
    auto answer = std::make_shared<Answer>();
    std::future<TokenGrant> result = answer->Promise.get_future();
    const int waitMs = static_cast<int>(wait_.count());
    QMetaObject::invokeMethod(
        network,
        [network, target, body, answer, waitMs] {
            QNetworkRequest request(target);
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              "application/x-www-form-urlencoded");
            request.setRawHeader("Accept", "application/json");
            request.setTransferTimeout(waitMs);
            QNetworkReply* reply = network->post(request, body);
            QObject::connect(reply, &QNetworkReply::finished, reply, [reply, answer] {
                TokenGrant grant;
                const int status =
                    reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                answer->Result = ReadTokenAnswer(status, reply->readAll().toStdString(), grant);
                if (answer->Result == -1 && reply->error() != QNetworkReply::NoError &&
                    status == 0)
                    grant.Description = reply->errorString().toStdString();
                if (!answer->Settled.exchange(true))
                    answer->Promise.set_value(std::move(grant));
                reply->deleteLater();
            });
        },
        Qt::QueuedConnection);
    // A little beyond the transfer's own bound, so it is the one that ends it.
    if (result.wait_for(wait_ + std::chrono::seconds(5)) == std::future_status::ready ||
        answer->Settled.exchange(true)) {
        grant = result.get();
        return answer->Result;
    }
    grant.Description = "the provider did not answer in time";
    return -1;
}
