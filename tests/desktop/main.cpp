// The desktop tests: one QApplication on the xcb platform for the whole run, against the X
// display and the session bus in the environment, both private to the test run (scripts/test
// starts them). Without either, or on a bus where a desktop's own tray host or notification
// daemon already runs, every test (a CDesktopTest) skips.
#include "desktop/desktop_fakes.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {
std::string missing;

std::string Missing() {
    if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
        return "no X display (DISPLAY is not set)";
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS") || !*std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        return "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
    return {};
}
} // namespace

const std::string& DesktopUnavailable() {
    return missing;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    missing = Missing();
    std::unique_ptr<QApplication> app;
    if (missing.empty()) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        if (!bus)
            missing = "the session bus does not answer";
        else
            for (const char* name :
                 {"org.kde.StatusNotifierWatcher", "org.freedesktop.Notifications"})
                if (bus->isServiceRegistered(name))
                    missing = std::string(name) + " already runs: not a private test bus";
    }
    // On xcb Qt decides once per process, at the first tray icon or question about the tray,
    // whether tray icons speak D-Bus (only if a watcher is on the bus then) or the X tray
    // protocol. The tests want D-Bus in any order: a watcher is up for that first question.
    // Later icons register with whichever watcher comes; isSystemTrayAvailable() still asks
    // the bus each time.
    if (missing.empty()) {
        CFakeStatusNotifierWatcher watcher;
        if (!watcher.Start() || !QSystemTrayIcon::isSystemTrayAvailable())
            missing = "Qt's tray icons do not use the session bus";
    }
    return RUN_ALL_TESTS();
}
