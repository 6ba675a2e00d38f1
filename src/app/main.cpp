// Drossgate: starts invisible, loads the user's data, and waits for the
// companion command on its channel.
#include "app/core/channel_path.h"
#include "app/core/data_directory.h"
#include "app/core/filter_app.h"
#include "app/core/learn_from_mail.h"
#include "app/core/restore_request.h"
#include "app/qt/channel_server.h"
#include "platform/instance_lock.h"
#include "platform/numconv.h"
#include "platform/paths.h"
#include "platform/qt/desktop_keyring.h"
#include "platform/qt/http_token_endpoint.h"
#include "platform/registry.h"
#include "ui/ui_shell.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
constexpr int kExitQuitRequest = 1; // the quit request ends the program with 1
constexpr int kExitStartupError = 2;
constexpr int kExitOtherInstance = 3;
constexpr int kExitNoDisplay = 4;
constexpr int kExitChannelError = 5;

// The application object lives until the process ends; session threads may
// still hold it when the quit request arrives, so it is never destroyed.
CFilterApp& TheApp() {
    static CFilterApp* app = new CFilterApp;
    return *app;
}

bool HasDisplay() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

bool IsOffscreen() {
    return QGuiApplication::platformName() == "offscreen";
}

std::string StatusLine(CFilterApp& app, bool windowShown) {
    std::string last = app.GetLastStatusText();
    return "last status: " + (last.empty() ? std::string("(none)") : last) +
           "; cycle starting: " + (app.CycleRunning ? "yes" : "no") +
           "; sessions running: " + std::to_string(app.RunningSessionCount()) +
           "; window shown: " + (windowShown ? "yes" : "no");
}

// A second start asks the running instance to show its window, so a click
// on the launcher always brings Drossgate up. true when it answered.
bool ShowRunningInstance() {
    std::string error, reply, refusal;
    std::string path = ChannelSocketPath(error);
    return !path.empty() && SendChannelRequest(path, "show", reply, 5000, refusal) == 1 &&
           reply == "ok";
}

// Ends the process without running destructors: worker threads may still be
// inside the application object, and nothing is saved at exit anyway.
[[noreturn]] void EndProcess(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}
} // namespace

int main(int argc, char** argv) {
    // Before the display check: a first start without one still leaves a
    // working data directory behind.
    const std::string defaults = InstalledDefaultsDirectory();
    std::string firstStartError;
    const FirstStartResult firstStart = PrepareFirstStart(defaults, firstStartError);
    if (firstStart == FirstStartResult::Failed)
        std::fprintf(stderr, "drossgate: first start: %s\n", firstStartError.c_str());
    if (firstStart == FirstStartResult::Created)
        std::fprintf(stderr, "drossgate: created the data directory and %s\n",
                     RegistryFilePath().c_str());
    if (!HasDisplay()) {
        std::fprintf(stderr, "drossgate: no display available (DISPLAY and WAYLAND_DISPLAY are "
                             "unset); set QT_QPA_PLATFORM=offscreen to run without windows\n");
        return kExitNoDisplay;
    }
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("Drossgate");
    QApplication::setQuitOnLastWindowClosed(false);

    CFilterApp& app = TheApp();
    if (!app.InitInstance()) {
        std::string text = app.StartupErrorText();
        std::fprintf(stderr, "drossgate: %s\n", text.c_str());
        if (!IsOffscreen()) // nobody could close a box that is never drawn
            QMessageBox::information(nullptr, "Drossgate", QString::fromStdString(text));
        EndProcess(kExitStartupError);
    }

    CInstanceLock instanceLock;
    int locked = instanceLock.Acquire(JoinPath(app.InstallPath, ".drossgate.lock"));
    if (locked == 0 && ShowRunningInstance()) {
        std::fprintf(stderr,
                     "drossgate: Drossgate is already running for %s; its window is shown\n",
                     app.InstallPath.c_str());
        EndProcess(0);
    }
    if (locked != 1) {
        std::fprintf(stderr,
                     locked == 0 ? "drossgate: another Drossgate is already running for %s\n"
                                 : "drossgate: cannot lock the data directory %s\n",
                     app.InstallPath.c_str());
        EndProcess(kExitOtherInstance);
    }

    AddMissingLanguageFiles(defaults, app.InstallPath);

    // After the lock, so only one instance moves the file's passwords, and
    // before the windows, whose timers start the first check. Like the
    // application object, the keyring is never destroyed.
    auto* keyring = new CDesktopKeyring;
    if (keyring->IsAvailable()) {
        app.Keyring = keyring;
        app.MoveAccountPasswordsToKeyring();
    } else {
        app.LogLine("no desktop keyring answers; account passwords stay in the account file", "-");
    }
    // OAuth 2.0 accounts renew their access tokens through it; as long-lived
    // as the application object.
    app.TokenEndpoint = new CHttpTokenEndpoint;

    std::string error;
    std::string channelPath = ChannelSocketPath(error);
    if (channelPath.empty()) {
        std::fprintf(stderr, "drossgate: %s\n", error.c_str());
        EndProcess(kExitChannelError);
    }

    // The tray menu's Quit: a user's own ending, so exit code 0.
    CUiShell ui(app, [] {
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });

    CChannelServer channel([&](const std::string& request, CChannelServer::ReplyFunction reply) {
        if (request == "ping") {
            reply("ok");
        } else if (request == "show") {
            ui.ShowMainWindow();
            reply("ok");
        } else if (request == "quit") {
            reply("ok");
            ui.PrepareQuit();
            // Queued after the reply's write, so the companion gets its answer.
            QMetaObject::invokeMethod(
                &qtApp, [] { QCoreApplication::exit(kExitQuitRequest); }, Qt::QueuedConnection);
        } else if (request == "check" || request == "check --dry-run") {
            app.NextCheckDryRun = request != "check";
            app.CheckNow();
            reply("ok");
        } else if (request.rfind("check --wait ", 0) == 0 ||
                   request.rfind("check --dry-run --wait ", 0) == 0) {
            const bool dryRun = request.rfind("check --dry-run", 0) == 0;
            long long seconds = Atoi(request.substr(dryRun ? 23 : 13));
            if (seconds <= 0) {
                reply("error bad time-out");
                return;
            }
            app.NextCheckDryRun = dryRun;
            app.CheckNow();
            // Waiting happens off the window thread, which must stay free to
            // show the questions the check may ask.
            std::thread([&app, &ui, seconds, reply] {
                bool ended = app.WaitForCheckToFinish(std::chrono::seconds(seconds));
                reply(std::string(ended ? "ok " : "timeout ") +
                      StatusLine(app, ui.MainWindowShown()));
            }).detach();
        } else if (IsRestoreRequest(request)) {
            // Off the window thread: it talks to the server, and a password
            // prompt it raises needs the window thread free.
            std::thread([&app, request, reply] {
                reply(HandleRestoreRequest(app, request));
            }).detach();
        } else if (request.rfind("learn ", 0) == 0) {
            std::thread([&app, request, reply] {
                reply(HandleLearnRequest(app, request, reply));
            }).detach();
        } else if (request == "status") {
            reply("ok " + StatusLine(app, ui.MainWindowShown()));
        } else {
            reply("error unknown request: " + request);
        }
    });
    if (!channel.Listen(channelPath, error)) {
        std::fprintf(stderr, "drossgate: %s\n", error.c_str());
        EndProcess(kExitChannelError);
    }

    int code = QApplication::exec();
    EndProcess(code);
}
