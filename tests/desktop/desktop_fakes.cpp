#include "desktop/desktop_fakes.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QSemaphore>
#include <QTest>
#include <algorithm>

bool SpinUntil(const std::function<bool()>& done, QDeadlineTimer deadline) {
    return QTest::qWaitFor(done, int(std::max<qint64>(0, deadline.remainingTime())));
}

// ---- the thread that owns a name ----

class CFakeDesktopService::CThread : public QThread {
  public:
    explicit CThread(CFakeDesktopService& owner) : owner(owner) {}
    void run() override {
        const QString name = owner.ConnectionName();
        {
            QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
            std::unique_ptr<QObject> object = owner.MakeObject();
            owned =
                bus.isConnected() &&
                bus.registerObject(owner.path, object.get(), QDBusConnection::ExportAllContents) &&
                bus.registerService(owner.service);
            started.release();
            if (owned) {
                exec();
                bus.unregisterService(owner.service);
            }
            bus.unregisterObject(owner.path);
        }
        QDBusConnection::disconnectFromBus(name);
    }
    CFakeDesktopService& owner;
    QSemaphore started;
    bool owned = false;
};

CFakeDesktopService::CFakeDesktopService(QString service, QString path)
    : service(std::move(service)), path(std::move(path)) {}

CFakeDesktopService::~CFakeDesktopService() {
    Stop();
}

bool CFakeDesktopService::Start() {
    thread = std::make_unique<CThread>(*this);
    thread->start();
    thread->started.acquire();
    if (thread->owned)
        return true;
    Stop();
    return false;
}

void CFakeDesktopService::Stop() {
    if (!thread)
        return;
    thread->quit();
    thread->wait();
    thread.reset();
}

QString CFakeDesktopService::ConnectionName() const {
    return QStringLiteral("drossgate-fake-%1-%2").arg(service).arg(quintptr(this), 0, 16);
}

// Whether the call came from this process. Other tests run beside these ones, on the same bus;
// what they register or send is not this test's.
static bool FromThisProcess(const QDBusContext& call) {
    const QDBusReply<uint> pid =
        call.connection().interface()->servicePid(call.message().service());
    return pid.isValid() && pid.value() == uint(QCoreApplication::applicationPid());
}

// ---- org.kde.StatusNotifierWatcher ----

class CWatcherObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    // Qt asks for a host before it puts its icon on the bus.
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  public:
    explicit CWatcherObject(CFakeStatusNotifierWatcher& fake) : fake(fake) {}
    bool IsStatusNotifierHostRegistered() const { return true; }
  public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        if (!FromThisProcess(*this))
            return;
        std::lock_guard lock(fake.mutex);
        fake.items.push_back({service, message().service()});
    }

  private:
    CFakeStatusNotifierWatcher& fake;
};

CFakeStatusNotifierWatcher::CFakeStatusNotifierWatcher()
    : CFakeDesktopService("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher") {}

CFakeStatusNotifierWatcher::~CFakeStatusNotifierWatcher() {
    Stop();
}

std::unique_ptr<QObject> CFakeStatusNotifierWatcher::MakeObject() {
    return std::make_unique<CWatcherObject>(*this);
}

bool CFakeStatusNotifierWatcher::WaitForItem(QDeadlineTimer deadline) const {
    return SpinUntil(
        [this] {
            std::lock_guard lock(mutex);
            return !items.empty();
        },
        deadline);
}

// An item registers a bus name (its items are at /StatusNotifierItem) or an object path on the
// caller's connection. `path` empty: the item's own object.
std::optional<QDBusMessage> CFakeStatusNotifierWatcher::CallItem(const QString& path,
                                                                 const QString& interface,
                                                                 const QString& method,
                                                                 const QVariantList& args,
                                                                 QDeadlineTimer deadline) {
    Registration item;
    {
        std::lock_guard lock(mutex);
        if (items.empty())
            return std::nullopt;
        item = items.back();
    }
    const bool byPath = item.Given.startsWith('/');
    const QString itemPath = byPath ? item.Given : QStringLiteral("/StatusNotifierItem");
    QDBusMessage call = QDBusMessage::createMethodCall(
        byPath ? item.Caller : item.Given, path.isEmpty() ? itemPath : path, interface, method);
    call.setArguments(args);
    // From this thread, on the fake's connection: the item answers from this thread's events.
    QDBusPendingCall pending = QDBusConnection(ConnectionName()).asyncCall(call);
    if (!SpinUntil([&] { return pending.isFinished(); }, deadline) || pending.isError())
        return std::nullopt;
    return pending.reply();
}

std::optional<QVariant> CFakeStatusNotifierWatcher::ItemProperty(const QString& name,
                                                                 QDeadlineTimer deadline) {
    auto reply = CallItem({}, "org.freedesktop.DBus.Properties", "Get",
                          {QStringLiteral("org.kde.StatusNotifierItem"), name}, deadline);
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusVariant>(reply->arguments().first()).variant();
}

// ToolTip is (sa(iiay)ss): icon name, icon pixmaps, title, text.
std::optional<CFakeStatusNotifierWatcher::ToolTip>
CFakeStatusNotifierWatcher::ItemToolTip(QDeadlineTimer deadline) {
    auto value = ItemProperty("ToolTip", deadline);
    if (!value || !value->canConvert<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(*value);
    QString iconName;
    ToolTip tip;
    arg.beginStructure();
    arg >> iconName;
    arg.beginArray();
    while (!arg.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        arg.beginStructure();
        arg >> width >> height >> pixels;
        arg.endStructure();
    }
    arg.endArray();
    arg >> tip.Title >> tip.Text;
    arg.endStructure();
    return tip;
}

bool CFakeStatusNotifierWatcher::Activate(int x, int y, QDeadlineTimer deadline) {
    return CallItem({}, "org.kde.StatusNotifierItem", "Activate", {x, y}, deadline).has_value();
}

static QString WithoutMnemonics(const QString& label) {
    QString plain;
    for (qsizetype i = 0; i < label.size(); ++i) {
        const QChar c = label[i];
        if (c != '&' && c != '_')
            plain += c;
        else if (i + 1 < label.size() && label[i + 1] == c)
            plain += label[++i]; // doubled: the character itself
    }
    return plain;
}

// A layout node is (ia{sv}av): id, properties, children each a variant holding a node.
static void ReadLayout(const QDBusArgument& arg, std::vector<std::pair<int, QString>>& entries) {
    int id = 0;
    QVariantMap properties;
    arg.beginStructure();
    arg >> id >> properties;
    if (properties.contains("label"))
        entries.emplace_back(id, WithoutMnemonics(properties.value("label").toString()));
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        ReadLayout(qvariant_cast<QDBusArgument>(child.variant()), entries);
    }
    arg.endArray();
    arg.endStructure();
}

std::optional<std::vector<std::pair<int, QString>>>
CFakeStatusNotifierWatcher::MenuEntries(QDeadlineTimer deadline) {
    auto menu = ItemProperty("Menu", deadline);
    if (!menu)
        return std::nullopt;
    menuPath = qvariant_cast<QDBusObjectPath>(*menu).path();
    auto layout =
        CallItem(menuPath, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()}, deadline);
    if (!layout || layout->arguments().size() != 2)
        return std::nullopt;
    std::vector<std::pair<int, QString>> entries;
    ReadLayout(qvariant_cast<QDBusArgument>(layout->arguments().at(1)), entries);
    return entries;
}

std::optional<QStringList> CFakeStatusNotifierWatcher::MenuLabels(QDeadlineTimer deadline) {
    auto entries = MenuEntries(deadline);
    if (!entries)
        return std::nullopt;
    QStringList labels;
    for (const auto& entry : *entries)
        labels << entry.second;
    return labels;
}

bool CFakeStatusNotifierWatcher::TriggerMenuEntry(const QString& label, QDeadlineTimer deadline) {
    auto entries = MenuEntries(deadline);
    if (!entries)
        return false;
    auto entry = std::find_if(entries->begin(), entries->end(),
                              [&](const auto& e) { return e.second == WithoutMnemonics(label); });
    return entry != entries->end() && CallItem(menuPath, "com.canonical.dbusmenu", "Event",
                                               {entry->first, QStringLiteral("clicked"),
                                                QVariant::fromValue(QDBusVariant(0)), 0u},
                                               deadline)
                                          .has_value();
}

// ---- org.freedesktop.Notifications ----

class CNotificationsObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    explicit CNotificationsObject(CFakeNotificationServer& fake) : fake(fake) {}
  public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& /*actions*/,
                const QVariantMap& /*hints*/, int /*expireTimeout*/) {
        std::lock_guard lock(fake.mutex);
        if (FromThisProcess(*this))
            fake.received.push_back({appName, appIcon, summary, body});
        return replacesId ? replacesId : ++lastId;
    }

  private:
    CFakeNotificationServer& fake;
    uint lastId = 0;
};

CFakeNotificationServer::CFakeNotificationServer()
    : CFakeDesktopService("org.freedesktop.Notifications", "/org/freedesktop/Notifications") {}

CFakeNotificationServer::~CFakeNotificationServer() {
    Stop();
}

std::unique_ptr<QObject> CFakeNotificationServer::MakeObject() {
    return std::make_unique<CNotificationsObject>(*this);
}

std::vector<CFakeNotificationServer::ReceivedNotification>
CFakeNotificationServer::Received() const {
    std::lock_guard lock(mutex);
    return received;
}

bool CFakeNotificationServer::WaitForCount(size_t count, QDeadlineTimer deadline) const {
    return SpinUntil([&] { return Received().size() >= count; }, deadline);
}

#include "desktop_fakes.moc"
