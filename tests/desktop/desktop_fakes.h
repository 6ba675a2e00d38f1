#pragma once
// Stand-ins for the desktop's tray host and notification daemon on the test session bus. Each
// runs on a thread of its own with a bus connection of its own, so code on the main thread can
// make blocking calls to them. The calls a test makes to the tray item answer only while the
// main thread's event loop runs: they spin it until the reply or the deadline. They keep only
// what comes from this process: other tests may use the same bus at the same time.
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <vector>

// Why the desktop tests cannot run here (no display, no bus, a bus not private to the tests);
// empty when they can. Found by main().
const std::string& DesktopUnavailable();

// The base of every desktop test (TEST_F): skips with the reason when they cannot run.
class CDesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!DesktopUnavailable().empty())
            GTEST_SKIP() << DesktopUnavailable();
    }
};

// Runs the main thread's events until `done` holds or the deadline passes; returns `done()`.
bool SpinUntil(const std::function<bool()>& done, QDeadlineTimer deadline = QDeadlineTimer(5000));

// Owns `service` on the session bus from a thread of its own, serving `object` at `path`.
class CFakeDesktopService {
  public:
    CFakeDesktopService(QString service, QString path);
    virtual ~CFakeDesktopService(); // releases the name, stops the thread
    // Returns once the name is owned (true) or could not be (false).
    bool Start();

  protected:
    virtual std::unique_ptr<QObject> MakeObject() = 0; // called on the service's thread
    void Stop();                                       // the subclass's destructor calls it
    QString ConnectionName() const;
    mutable std::mutex mutex; // guards what the object records

  private:
    class CThread;
    QString service, path;
    std::unique_ptr<CThread> thread;
};

// The tray host's registry (org.kde.StatusNotifierWatcher) and a client of the items it knows.
class CFakeStatusNotifierWatcher : public CFakeDesktopService {
  public:
    struct ToolTip {
        QString Title, Text;
    };
    CFakeStatusNotifierWatcher();
    ~CFakeStatusNotifierWatcher() override;

    // What RegisterStatusNotifierItem was given (a bus name or an object path), and who called.
    struct Registration {
        QString Given, Caller;
    };

    bool WaitForItem(QDeadlineTimer deadline = QDeadlineTimer(5000)) const;

    // On the item registered last; nullopt or false when it did not answer before the deadline.
    std::optional<ToolTip> ItemToolTip(QDeadlineTimer deadline = QDeadlineTimer(5000));
    bool Activate(int x, int y, QDeadlineTimer deadline = QDeadlineTimer(5000));
    // The labels of the item's menu entries, mnemonic marks removed, in menu order.
    std::optional<QStringList> MenuLabels(QDeadlineTimer deadline = QDeadlineTimer(5000));
    // Clicks the entry labelled `label` (mnemonic marks ignored); false when there is none.
    bool TriggerMenuEntry(const QString& label, QDeadlineTimer deadline = QDeadlineTimer(5000));

  private:
    std::unique_ptr<QObject> MakeObject() override;
    std::optional<QDBusMessage> CallItem(const QString& path, const QString& interface,
                                         const QString& method, const QVariantList& args,
                                         QDeadlineTimer deadline);
    std::optional<QVariant> ItemProperty(const QString& name, QDeadlineTimer deadline);
    // The menu's entries as (id, label), depth first.
    std::optional<std::vector<std::pair<int, QString>>> MenuEntries(QDeadlineTimer deadline);
    std::vector<Registration> items;
    QString menuPath; // the item's menu object, as its Menu property said last
    friend class CWatcherObject;
};

// The notification daemon (org.freedesktop.Notifications).
class CFakeNotificationServer : public CFakeDesktopService {
  public:
    struct ReceivedNotification {
        QString AppName, Icon, Summary, Body;
        bool operator==(const ReceivedNotification&) const = default;
    };
    CFakeNotificationServer();
    ~CFakeNotificationServer() override;

    std::vector<ReceivedNotification> Received() const;
    bool WaitForCount(size_t count, QDeadlineTimer deadline = QDeadlineTimer(5000)) const;

  private:
    std::unique_ptr<QObject> MakeObject() override;
    std::vector<ReceivedNotification> received;
    friend class CNotificationsObject;
};

// How failures print them.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << text.toStdString();
}
inline void PrintTo(const CFakeNotificationServer::ReceivedNotification& n, std::ostream* out) {
    *out << "{" << n.AppName << " | " << n.Icon << " | " << n.Summary << " | " << n.Body << "}";
}
