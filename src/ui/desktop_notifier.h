#pragma once
// Desktop notifications: one call of org.freedesktop.Notifications.Notify on
// the session bus per notification. The call does not wait for the
// notification server; without a bus or a server nothing is shown, and that
// is said once on standard error.
//
// Thread: the window thread.
#include <QObject>
#include <QString>

class CDesktopNotifier : public QObject {
    Q_OBJECT
  public:
    explicit CDesktopNotifier(QObject* parent = nullptr) : QObject(parent) {}
    void Notify(const QString& summary, const QString& body);

  private:
    void SayUnavailable(const QString& why);
    bool saidUnavailable_ = false;
};
