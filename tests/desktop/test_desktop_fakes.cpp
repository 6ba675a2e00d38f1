// The fakes against plain Qt: a tray icon found, read and clicked over the bus the way a tray
// host does it, and notifications sent the way the program sends them.
#include "desktop/desktop_fakes.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

using DesktopFakes = CDesktopTest;

TEST_F(DesktopFakes, QtTrayIconRegistersAndIsDrivenOverTheBus) {
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()); // no watcher left by another test
    CFakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.Start());
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    QMenu menu;
    QAction* show = menu.addAction("&Show");
    menu.addSeparator();
    QAction* quit = menu.addAction("&Quit");
    QSignalSpy shown(show, &QAction::triggered), quitted(quit, &QAction::triggered);
    QPixmap pixels(16, 16);
    pixels.fill(Qt::darkRed);
    QSystemTrayIcon tray{QIcon(pixels)};
    QSignalSpy activated(&tray, &QSystemTrayIcon::activated);
    tray.setContextMenu(&menu);
    tray.setToolTip("Drossgate: 3 new");
    tray.show();

    ASSERT_TRUE(watcher.WaitForItem());
    ASSERT_EQ(watcher.Registrations().size(), 1u);
    // Qt registers its connection's unique name; its item is at /StatusNotifierItem there.
    EXPECT_EQ(watcher.Registrations()[0].Given, watcher.Registrations()[0].Caller);
    auto tip = watcher.ItemToolTip();
    ASSERT_TRUE(tip);
    EXPECT_EQ(tip->Title, "Drossgate: 3 new");
    EXPECT_EQ(tip->Text, "");
    tray.setToolTip("Drossgate: idle");
    EXPECT_EQ(watcher.ItemToolTip().value_or(CFakeStatusNotifierWatcher::ToolTip{}).Title,
              "Drossgate: idle");

    ASSERT_TRUE(watcher.Activate(10, 20));
    ASSERT_TRUE(SpinUntil([&] { return activated.count() == 1; }));
    EXPECT_EQ(activated.at(0).at(0).value<QSystemTrayIcon::ActivationReason>(),
              QSystemTrayIcon::Trigger);

    EXPECT_EQ(watcher.MenuLabels(), QStringList({"Show", "Quit"}));
    ASSERT_TRUE(watcher.TriggerMenuEntry("&Quit"));
    EXPECT_TRUE(SpinUntil([&] { return quitted.count() == 1; }));
    EXPECT_EQ(shown.count(), 0);
    EXPECT_FALSE(watcher.TriggerMenuEntry("Settings"));
}

// As when the desktop's tray host starts after the program (main() made Qt use the bus).
TEST_F(DesktopFakes, TrayIconShownBeforeTheWatcherRegistersWhenItComes) {
    QPixmap pixels(16, 16);
    pixels.fill(Qt::darkRed);
    QSystemTrayIcon tray{QIcon(pixels)};
    tray.setToolTip("early");
    tray.show();
    CFakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.Start());
    ASSERT_TRUE(watcher.WaitForItem());
    EXPECT_EQ(watcher.ItemToolTip().value_or(CFakeStatusNotifierWatcher::ToolTip{}).Title, "early");
    EXPECT_EQ(watcher.MenuLabels(), std::nullopt); // no menu: nothing to read
}

TEST_F(DesktopFakes, NotificationServerAnswersDirectCallsAndReleasesItsName) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QString name = "org.freedesktop.Notifications";
    {
        CFakeNotificationServer server;
        ASSERT_TRUE(server.Start());
        EXPECT_TRUE(bus->isServiceRegistered(name));
        CFakeNotificationServer second;
        EXPECT_FALSE(second.Start()); // the name is taken

        QDBusInterface notifications(name, "/org/freedesktop/Notifications", name);
        ASSERT_TRUE(notifications.isValid());
        QSignalSpy closed(&notifications, SIGNAL(NotificationClosed(uint, uint)));
        for (uint expected : {1u, 2u}) {
            QDBusReply<uint> id =
                notifications.call("Notify", "Drossgate", 0u, "mail-unread",
                                   QString("%1 new").arg(expected), "in Inbox", QStringList(),
                                   QVariantMap{{"urgency", QVariant::fromValue(uchar(1))}}, -1);
            ASSERT_TRUE(id.isValid()) << id.error().message();
            EXPECT_EQ(id.value(), expected);
        }
        ASSERT_TRUE(server.WaitForCount(2));
        EXPECT_EQ(server.Received(), (std::vector<CFakeNotificationServer::ReceivedNotification>{
                                         {"Drossgate", "mail-unread", "1 new", "in Inbox"},
                                         {"Drossgate", "mail-unread", "2 new", "in Inbox"}}));

        QDBusReply<QStringList> capabilities = notifications.call("GetCapabilities");
        EXPECT_EQ(capabilities.value(), QStringList{"body"});
        QDBusMessage info = notifications.call("GetServerInformation");
        ASSERT_EQ(info.arguments().size(), 4);
        EXPECT_EQ(info.arguments().at(3).toString(), "1.2");

        notifications.call("CloseNotification", 2u);
        ASSERT_TRUE(SpinUntil([&] { return closed.count() == 1; }));
        EXPECT_EQ(closed.at(0).at(0).toUInt(), 2u);
    }
    EXPECT_FALSE(bus->isServiceRegistered(name));
}
