// drossgate-screenshots DIR: renders every window, page and dialog of the
// program into DIR as PNG files, offscreen, with a little sample data, so a
// reviewer can see the whole interface without a display. The main window is
// rendered once per tree node ("CMainDialog-5-spam-words.png"); every other
// window is one line of the table below.
#include "app/core/filter_app.h"
#include "app/core/restore.h"
#include "platform/qt/http_token_endpoint.h"
#include "store/judged_memory.h"
#include "ui/add_account_page.h"
#include "ui/add_sender_dialog.h"
#include "ui/add_spam_word_dialog.h"
#include "ui/desktop_events.h"
#include "ui/history_dialog.h"
#include "ui/login_dialog.h"
#include "ui/mail_body_dialog.h"
#include "ui/main_dialog.h"
#include "ui/navigation_nodes.h"
#include "ui/navigation_tree.h"
#include "ui/new_sender_dialog.h"
#include "ui/oauth_sign_in_dialog.h"
#include "ui/plain_text_prompt.h"
#include "ui/testing_dialog.h"
#include "ui/tray_icon.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidgetItem>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

struct ShotContext {
    CFilterApp& App;
    CMainDialog& Main;
};

// One window: its file name and how to make it (shown and filled). The
// window is deleted after it has been rendered.
struct Shot {
    const char* Name;
    std::function<QWidget*(ShotContext&)> Make;
};

const Shot kShots[] = {
    {"CLoginDialog",
     [](ShotContext& c) {
         return new CLoginDialog(c.App, {"Home", "joe", "pw"});
     }},
    {"CTestingDialog", [](ShotContext& c) { return new CTestingDialog(c.App, nullptr); }},
    {"CAddSenderDialog", [](ShotContext& c) { return new CAddSenderDialog(c.App, nullptr); }},
    {"CAddSpamWordDialog", [](ShotContext& c) { return new CAddSpamWordDialog(c.App, nullptr); }},
    {"CNewSenderDialog",
     [](ShotContext& c) {
         NewSenderQuestion question;
         question.Prompt =
             "offers@deals.example\nhas sent you an e-mail, if you want to add him to your friend "
             "list\npress Friend, if you want to add him to your block list press Block. \nIf you "
             "want to igonre him press Ignore.";
         question.Subject = "Your parcel is waiting: confirm delivery";
         question.FirstLines = "Dear customer,\nWe could not deliver your parcel today.\nClick "
                               "the link below to choose a new date.";
         question.Guess = "Probably spam";
         return new CNewSenderDialog(c.App, question);
     }},
    {"CHistoryDialog",
     [](ShotContext& c) {
         auto* history = new CHistoryDialog(c.App, nullptr);
         history->Initialise();
         return history;
     }},
    // With the deleted mail that has a copy in the bin selected: Restore
    // and Save as... enabled.
    {"CHistoryDialog-restore",
     [](ShotContext& c) {
         auto* history = new CHistoryDialog(c.App, nullptr);
         history->Initialise();
         history->show();
         auto* view = history->findChild<QTableView*>("1026");
         const QPointF at = view->visualRect(view->model()->index(1, 0)).center();
         for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
             QMouseEvent click(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                               type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                               Qt::NoModifier);
             QApplication::sendEvent(view->viewport(), &click);
         }
         return history;
     }},
    {"QMessageBox-unblock-sender",
     [](ShotContext& c) -> QWidget* { return MakeUnblockQuestion(c.App, nullptr); }},
    {"QMessageBox-plain-text",
     [](ShotContext& c) -> QWidget* {
         return MakePlainTextWarning(c.App, {"Home", "mail.example.org", false}, nullptr);
     }},
    {"COAuthSignInDialog",
     [](ShotContext& c) -> QWidget* {
         OAuthAccount account;
         account.Server = "outlook.office365.com";
         account.User = "joe@outlook.com";
         account.Client.ClientId = "your-own-client-id";
         static CHttpTokenEndpoint endpoint;
         c.App.TokenEndpoint = &endpoint;
         return new COAuthSignInDialog(c.App, account, QString());
     }},
    {"CMailBodyDialog",
     [](ShotContext& c) {
         auto* body = new CMailBodyDialog(c.App, nullptr);
         body->SetText("Shall we meet at noon?\nThe usual place.");
         body->SetScore("Learned spam score: 3% (Probably not spam)");
         return body;
     }},
};

// File names of the main window's node values.
const char* const kNodeSlugs[] = {
    "mail-setup", "add-account", "change-account", "delete-account", "connection",
    "spam-words", "friends",     "blocked",        "options",        "filter-properties",
    "levels",     "very-high",   "high",           "normal",         "low",
    "very-low",   "senders"};

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A data directory with sample accounts, senders, spam words and history.
void WriteSampleData(const std::filesystem::path& dir, const std::string& resources) {
    WriteFile(dir / "Settings.ini",
              "[SETTINGS]\r\n10001=110\r\n10002=143\r\n10003=3\r\n10004=5\r\n10005=0\r\n"
              "10006=1000\r\n10007=0\r\n10008=3\r\n10009=5\r\n"
              "[SPAMWORD]\r\nWCount=3\r\nW1=free offer>5\r\nW2=winner>8\r\nW3=act now>3\r\n"
              "[EXT]\r\nCount=3\r\nE1=exe\r\nE2=scr\r\nE3=pif\r\n");
    WriteFile(dir / "ZRKList.zrk", "P|Home|pop.mail.example|joe|secret\r\n"
                                   "I|Work|imap.work.example|jsmith|*\r\n"
                                   "P||pop.other.example|joe2|pw\r\n");
    WriteFile(dir / "Friend List.zrk", "   ann@mail.example\r\n   *@family.example\r\n");
    WriteFile(dir / "Blocked List.zrk", "   offers@deals.example\r\n   *@spam.example\r\n");
    std::ifstream language(resources + "/Language/English.ini", std::ios::binary);
    if (language) {
        std::string text((std::istreambuf_iterator<char>(language)),
                         std::istreambuf_iterator<char>());
        WriteFile(dir / "Language" / "English.ini", text);
    } else {
        std::fprintf(stderr, "drossgate-screenshots: no language file, built-in texts\n");
    }
    WriteFile(dir / "registry.ini", "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + dir.string() +
                                        "\r\nLanguage=English\r\n");
}

void AddSampleHistory(CFilterApp& app) {
    app.AppendHistoryEntry({"Thu, 18 Sep 2003", "ann@mail.example", "Lunch on Friday?", 1, "",
                            "Shall we meet at noon?\r\n"});
    app.AppendHistoryEntry({"Fri, 19 Sep 2003", "offers@deals.example", "You are a winner", 0,
                            "23003", "Claim your free offer now\r\n"});
    app.AppendHistoryEntry({"Sat, 20 Sep 2003", "news@list.example", "Weekly digest", 0, "23006",
                            "free offer, winner, act now\r\n"});
    // The winner's copy waits in the recycle bin.
    BinnedMessage copy;
    copy.Type = 'I';
    copy.Account = JudgedAccountKey('I', "imap.work.example", "jsmith");
    copy.AccountName = "Work";
    copy.Date = "Fri, 19 Sep 2003";
    copy.From = "offers@deals.example";
    copy.Subject = "You are a winner";
    copy.Reason = "23003";
    copy.Text = "From: offers@deals.example\r\nSubject: You are a winner\r\n\r\nClaim now\r\n";
    std::string error;
    if (!WriteBinnedMessage(RecycleBinDir(app), copy, error))
        std::fprintf(stderr, "drossgate-screenshots: no sample copy in the bin: %s\n",
                     error.c_str());
}

bool Save(QWidget* window, const QString& dir, const QString& name) {
    window->show();
    QApplication::processEvents();
    const QString path = QDir(dir).filePath(name + ".png");
    const bool saved = window->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    return saved;
}

} // namespace

// Sends the notification of a sample check through the session bus, for a
// picture of it as the desktop's notification server shows it.
int SendSampleNotification(int argc, char** argv, const char* resources) {
    const std::filesystem::path data =
        std::filesystem::temp_directory_path() / ("drossgate-notify-" + std::to_string(getpid()));
    WriteSampleData(data, resources);
    setenv("DROSSGATE_REGISTRY", (data / "registry.ini").c_str(), 1);
    QApplication qtApp(argc, argv);
    int result = 1;
    {
        CFilterApp app;
        if (app.InitInstance()) {
            app.NotifyDeletions = true;
            CMainDialog main(app);
            CDesktopEvents events(app, main, {});
            events.CheckEnded({"2026-12-07 09:30", {{"Home", 12, 3}, {"Work", 40, 1}}});
            QTimer::singleShot(1500, &qtApp, &QCoreApplication::quit);
            result = QApplication::exec();
        }
    }
    std::filesystem::remove_all(data);
    return result;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--notify")
        return SendSampleNotification(argc, argv, argv[2]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: drossgate-screenshots OUTPUT_DIR RESOURCES_DIR\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const std::filesystem::path data =
        std::filesystem::temp_directory_path() / ("drossgate-shots-" + std::to_string(getpid()));
    WriteSampleData(data, argv[2]);
    setenv("DROSSGATE_REGISTRY", (data / "registry.ini").c_str(), 1);

    QApplication qtApp(argc, argv);
    QDir().mkpath(outDir);
    int failures = 0;
    {
        CFilterApp app;
        if (!app.InitInstance()) {
            std::fprintf(stderr, "drossgate-screenshots: the sample data did not load\n");
            return 1;
        }
        AddSampleHistory(app);
        CMainDialog main(app);
        main.show();
        for (int i = 0; i < kNavigationNodeCount; ++i) {
            const int value = kNavigationNodes[static_cast<size_t>(i)].Value;
            QTreeWidgetItem* node = main.Node(i);
            for (QTreeWidgetItem* up = node->parent(); up; up = up->parent())
                up->setExpanded(true);
            main.Tree()->setCurrentItem(node); // shows its page, as a click does
            main.Tree()->scrollToItem(node);
            const QString name = QString("CMainDialog-%1-%2").arg(value).arg(kNodeSlugs[value]);
            failures += Save(&main, outDir, name) ? 0 : 1;
        }
        // The Options page's Desktop tab, and the tray icon's menu.
        for (int i = 0; i < kNavigationNodeCount; ++i)
            if (kNavigationNodes[static_cast<size_t>(i)].Value == 8)
                main.Tree()->setCurrentItem(main.Node(i));
        if (auto* tabs = main.findChild<QTabBar*>("1060")) {
            tabs->setCurrentIndex(1);
            failures += Save(&main, outDir, "CMainDialog-8-options-desktop") ? 0 : 1;
            tabs->setCurrentIndex(0);
        }
        // The Add Account page with an OAuth 2.0 account of a known provider.
        for (int i = 0; i < kNavigationNodeCount; ++i)
            if (kNavigationNodes[static_cast<size_t>(i)].Value == 1)
                main.Tree()->setCurrentItem(main.Node(i));
        if (auto* page = main.findChild<CAddAccountPage*>()) {
            page->findChild<QLineEdit*>("1006")->setText("pop.gmail.com");
            page->findChild<QComboBox*>("1004")->setCurrentIndex(1);
            page->findChild<QLineEdit*>("1008")->setText("joe@gmail.com");
            page->findChild<QLineEdit*>("1010")->setText("your-own-client-id");
            failures += Save(&main, outDir, "CMainDialog-1-add-account-oauth") ? 0 : 1;
        }
        {
            CTrayIcon tray(app, {});
            emit tray.Menu().aboutToShow(); // the menu localizes itself as it opens
            failures += Save(&tray.Menu(), outDir, "CTrayIcon-menu") ? 0 : 1;
            tray.Menu().hide();
        }
        ShotContext context{app, main};
        for (const Shot& shot : kShots) {
            std::unique_ptr<QWidget> window(shot.Make(context));
            failures += Save(window.get(), outDir, shot.Name) ? 0 : 1;
        }
        main.hide();
    }
    std::filesystem::remove_all(data);
    return failures == 0 ? 0 : 1;
}
