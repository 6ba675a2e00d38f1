#include "app/qt/channel_server.h"

#include "app/core/channel_path.h"
#include "app/core/channel_trust.h"

#include <QLocalSocket>
#include <QPointer>
#include <QVariant>
#include <cstdio>

namespace {
constexpr qint64 kMaxRequestBytes = 4096;
}

CChannelServer::CChannelServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    connect(&server_, &QLocalServer::newConnection, this, &CChannelServer::OnNewConnection);
}

bool CChannelServer::Listen(const std::string& path, std::string& error) {
    std::string probeReply, refusal;
    int probe = SendChannelRequest(path, "ping", probeReply, 2000, refusal);
    if (probe == 1) {
        error = "another Drossgate instance already answers on " + path;
        return false;
    }
    if (probe == -2) {
        error = refusal + " at " + path;
        return false;
    }
    QLocalServer::removeServer(QString::fromStdString(path));
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(QString::fromStdString(path))) {
        error = "cannot listen on " + path + ": " + server_.errorString().toStdString();
        return false;
    }
    return true;
}

void CChannelServer::OnNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        // Requests are taken from this user's programs only.
        std::string refusal;
        if (CheckChannelPeer(static_cast<int>(socket->socketDescriptor()), refusal) !=
            kChannelTrusted) {
            std::fprintf(stderr, "drossgate: refused a channel connection: %s\n", refusal.c_str());
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->property("answered").toBool())
                return;
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestBytes)
                    socket->disconnectFromServer();
                return;
            }
            socket->setProperty("answered", true);
            std::string request = socket->readLine(kMaxRequestBytes).trimmed().toStdString();
            QPointer<QLocalSocket> guarded(socket);
            handler_(request, [this, guarded](const std::string& line) {
                // May come from a waiting thread: the write happens on the
                // server's (window) thread, where the socket lives.
                QByteArray bytes = QByteArray::fromStdString(line + "\n");
                QMetaObject::invokeMethod(this, [guarded, bytes] {
                    if (!guarded)
                        return;
                    guarded->write(bytes);
                    guarded->flush();
                    // A progress line comes before the reply proper.
                    if (!bytes.startsWith("progress "))
                        guarded->disconnectFromServer();
                });
            });
        });
    }
}
