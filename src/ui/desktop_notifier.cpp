#include "ui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <cstdio>

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr int kServerDecidesTimeout = -1;
} // namespace

void CDesktopNotifier::Notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        SayUnavailable("no session bus");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
    call << QStringLiteral("Drossgate") << 0u << QStringLiteral("drossgate") << summary << body
         << QStringList() << QVariantMap{{"desktop-entry", QStringLiteral("drossgate")}}
         << kServerDecidesTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                QDBusPendingReply<uint> reply = *finished;
                if (reply.isError())
                    SayUnavailable(reply.error().message());
                finished->deleteLater();
            });
}

void CDesktopNotifier::SayUnavailable(const QString& why) {
    if (saidUnavailable_)
        return;
    saidUnavailable_ = true;
    std::fprintf(stderr, "drossgate: desktop notifications are not shown: %s\n",
                 why.toLocal8Bit().constData());
}
