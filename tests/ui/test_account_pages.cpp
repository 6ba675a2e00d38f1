// The account pages and the account test with its result box.
#include "app/qt/oauth_sign_in.h"
#include "core/fake_keyring.h"
#include "platform/qt/http_token_endpoint.h"
#include "server/mail_server.h"
#include "ui/add_account_page.h"
#include "ui/login_dialog.h"
#include "ui/oauth_sign_in_dialog.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>

namespace {

constexpr int kType = 1004, kServer = 1006, kUser = 1008, kPassword = 1010, kTest = 1012,
              kRemember = 1013, kName = 1014, kChange = 1016, kAdd = 1023, kKeptIn = 1024;
constexpr int kPop3Type = 1, kImapType = 0;
constexpr int kPasswordLabel = 1015, kSignInChoice = 1026, kSignIn = 1029, kProviderNote = 1030;

const SeenMessage kTested{"Falid", "Account settings have been tested successfully",
                          QMessageBox::Information};

struct CAccountPages : CMainWindowFixture {
    explicit CAccountPages(const std::string& accounts = "")
        : CMainWindowFixture("[SETTINGS]\r\n", "", accounts) {
        app->LoginPrompt = &prompt;
        app->ServerTimeoutMsOverride = 5000;
    }
    ~CAccountPages() { app->LoginPrompt = nullptr; }
    CAddAccountPage* add() { return dialog->AddAccountPage(); }
    std::string File() { return dir.Read("ZRKList.zrk"); }
    void Fill(const char* server, const char* name, const char* user, const char* password,
              bool remember = true, int type = kImapType) {
        Control<QComboBox>(add(), kType)->setCurrentIndex(type);
        TypeInto(add(), kServer, server);
        TypeInto(add(), kName, name);
        TypeInto(add(), kUser, user);
        TypeInto(add(), kPassword, password);
        if (auto* box = Control<QCheckBox>(add(), kRemember); box->isChecked() != remember)
            box->click();
    }
    QString Fields() {
        QString all;
        for (int id : {kServer, kName, kUser, kPassword})
            all += Control<QLineEdit>(add(), id)->text();
        return all;
    }
    // Tests an account at `port` and returns the result box; the fields are locked meanwhile.
    SeenMessage Run(int port, const char* user, const char* password, bool imap = false) {
        (imap ? app->ImapPort : app->Pop3Port) = port;
        Fill("127.0.0.1", "", user, password, true, imap ? kImapType : kPop3Type);
        CBoxRecorder boxes;
        Click(add(), kTest);
        EXPECT_FALSE(Enabled(add(), kServer) || Enabled(add(), kType));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.seen.empty(); }, 30000));
        EXPECT_TRUE(Enabled(add(), kServer));
        return boxes.seen.empty() ? SeenMessage{} : boxes.seen[0];
    }
    CLoginPrompt prompt{*app};
};

// The buttons follow the fields; a name in use is refused, an empty one is not; an added record
// empties the form; a password not remembered is stored as "*".
TEST(AccountPages, ButtonsAndAddingRecords) {
    const std::tuple<const char*, const char*, const char*, bool, bool, bool> buttons[] = {
        // server, user, password, remember, Add enabled, Test enabled
        {"srv", "joe", "pw", true, true, true}, {"srv", "joe", "", true, false, false},
        {"srv", "joe", "", false, true, false}, {"srv", "joe", "pw", false, true, true},
        {"srv", "", "pw", true, false, false},  {"", "joe", "pw", false, false, false}};
    const std::tuple<int, const char*, const char*, bool, std::string> adds[] = {
        // type, name, password, remember, the line added
        {kPop3Type, "Home", "pw", true, ""},
        {kPop3Type, "", "pw|1", true, "P||srv|joe|pw|1\r\n"},
        {kImapType, "Work", "typed", false, "I|Work|srv|joe|*\r\n"}};
    CAccountPages w("P|Home|a|b|c\r\n");
    for (auto [server, user, password, remember, add, test] : buttons) {
        w.Fill(server, "any", user, password, remember);
        EXPECT_EQ(std::pair(Enabled(w.add(), kAdd), Enabled(w.add(), kTest)), std::pair(add, test))
            << server << user << password;
    }
    CBoxRecorder boxes;
    std::string file = w.File();
    for (const auto& [type, name, password, remember, added] : adds) {
        w.Fill("srv", name, "joe", password, remember, type);
        Click(w.add(), kAdd);
        EXPECT_EQ(w.File(), file += added);
        EXPECT_EQ(w.Fields().isEmpty(), !added.empty()) << name;
    }
    const SeenMessage inUse{"Drossgate", "Home already exists, please change this name.",
                            QMessageBox::Critical};
    EXPECT_EQ(boxes.seen, std::vector{inUse});
}

// Change marks the chosen record's line and appends the new one; coming back, with nothing
// selected, it changes nothing. Delete is there while rows are selected and marks their lines.
TEST(AccountPages, ChangeAndDeleteMarkExactlyTheChosenRecords) {
    CAccountPages w;
    w.dir.Write("ZRKList.zrk",
                "P|Home|a.example|joe|secret\r\nI|Work|b.example|ann|*\r\nP|Spare|s|u|p\r\n");
    // Work's last login was refused: its row says so, the server's words in the tooltip.
    AccountOutcome refused;
    refused.Account = "Work";
    refused.Problem = LoginProblem::PasswordRejected;
    refused.ServerText = "[AUTH] no";
    w.app->CheckReport.Record(refused);
    QWidget* change = w.dialog->Page(2);
    auto* list = change->findChild<QTableWidget*>();
    w.ClickNode(2);
    EXPECT_EQ(Column(list->model()), QStringList({"Home", "Work", "Spare"}));
    EXPECT_EQ(Column(list->model(), 2), QStringList({"", "Password rejected", ""}));
    EXPECT_TRUE(list->item(1, 2)->toolTip().endsWith("\nThe server said: [AUTH] no"));
    EXPECT_FALSE(Enabled(change, kChange));
    ClickRow(list, 0);
    Click(change, kChange);
    EXPECT_EQ(std::pair(w.VisiblePage(), w.Fields()),
              std::pair(1, QString("a.exampleHomejoesecret")));
    TypeInto(w.add(), kServer, "c.example"); // its own name is no obstacle
    Click(w.add(), kAdd);
    const std::string changed = "-->ome|a.example|joe|sec<--\r\nI|Work|b.example|ann|*\r\n"
                                "P|Spare|s|u|p\r\nP|Home|c.example|joe|secret\r\n";
    EXPECT_EQ(w.File(), changed);

    w.ClickNode(2);
    ClickRow(list, 0);
    w.ClickNode(3);
    w.ClickNode(2);
    EXPECT_EQ(Column(list->model()), QStringList({"Work", "Spare", "Home"}));
    ASSERT_TRUE(Enabled(change, kChange));
    Click(change, kChange);
    EXPECT_EQ(std::tuple(w.VisiblePage(), w.add()->ChangeOffset(), w.File()),
              std::tuple(2, -1, changed));

    QWidget* remove = w.Open(3);
    EXPECT_EQ(DeleteRows(remove, remove->findChild<QTableWidget*>(), {0, 2}), QStringList("Spare"));
    EXPECT_EQ(w.File(), "-->ome|a.example|joe|sec<--\r\n-->ork|b.example|an<--\r\nP|Spare|s|u|p\r\n"
                        "-->ome|c.example|joe|sec<--\r\n");
}

// With a keyring the records hold the marker and the page says where the password is;
// changing fills in the keyring's password, or (locked) asks for it again, and a refusal
// keeps the typed one in the file with a box; deleting the account deletes its entry.
TEST(AccountPages, KeyringKeepsPasswordsOutOfTheFile) {
    CAccountPages w;
    CFakeKeyring keyring;
    w.app->Keyring = &keyring;
    w.ClickNode(1);
    const auto keptIn = [&] { return Control<QLabel>(w.add(), kKeptIn)->text().toStdString(); };
    EXPECT_EQ(keptIn(), "Your password is kept in the desktop keyring.");
    w.Fill("srv", "Home", "joe", "pw");
    Click(w.add(), kAdd);
    QWidget* change = w.dialog->Page(2);
    const auto changeFirst = [&] {
        w.ClickNode(2);
        ClickRow(change->findChild<QTableWidget*>(), 0);
        Click(change, kChange);
        return w.Fields();
    };
    EXPECT_EQ(changeFirst(), QString("srvHomejoepw"));
    EXPECT_EQ(w.File(), "I|Home|srv|joe|<keyring>\r\n");
    keyring.Answer = -1;
    EXPECT_EQ(changeFirst(), QString("srvHomejoe"));
    EXPECT_FALSE(Enabled(w.add(), kAdd)); // no empty password replaces the keyring's
    EXPECT_EQ(keptIn(), "The desktop keyring gave no password: type it again.");
    CBoxRecorder boxes;
    TypeInto(w.add(), kPassword, "typed");
    Click(w.add(), kAdd);
    EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.seen.size() == 1; }, 10000));
    EXPECT_TRUE(w.File().ends_with("\nI|Home|srv|joe|typed\r\n"));
    keyring.Answer = 1;
    w.Fill("srv", "Club", "joe", "club");
    Click(w.add(), kAdd);
    w.Fill("srv", "Spare", "joe", "", false);
    Click(w.add(), kAdd);
    QWidget* remove = w.Open(3);
    DeleteRows(remove, remove->findChild<QTableWidget*>(), {0, 1});
    EXPECT_TRUE(keyring.Entries.empty()); // the one left behind by the refusal too
    w.app->Keyring = nullptr;
}

// A closed port, then a real server: a rejected login brings up the prompt (Cancel ends it).
TEST(AccountTest, ResultBoxesAndThePrompt) {
    CAccountPages w;
    w.ClickNode(1);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const int port = closed.serverPort();
    closed.close(); // nobody listens there now
    EXPECT_EQ(w.Run(port, "joe", "pw"),
              (SeenMessage{"Falid", "Can't connect to the server at this time, try again later",
                           QMessageBox::Critical}));
    SKIP_WITHOUT_MAIL_SERVER();
    const std::string password = CTestMailServer::Password("user12");
    EXPECT_EQ(w.Run(CTestMailServer::Pop3Port(), "user12", password.c_str()), kTested);
    EXPECT_EQ(w.Run(CTestMailServer::ImapPort(), "user12", password.c_str(), true), kTested);
    WhenModal<CLoginDialog>([](CLoginDialog* login) {
        EXPECT_EQ(Control<QLineEdit>(login, 1028)->text(), QString("user12"));
        Click(login, 2);
    });
    EXPECT_EQ(w.Run(CTestMailServer::Pop3Port(), "user12", "wrong"),
              (SeenMessage{"Falid", "Incorrect user name or password", QMessageBox::Critical}));

    WhenModal<CLoginDialog>([password](CLoginDialog* login) {
        TypeInto(login, 1029, QString::fromStdString(password));
        Click(login, 1);
    });
    EXPECT_EQ(w.Run(CTestMailServer::Pop3Port(), "user12", "wrong"), kTested);
}

} // namespace

// A known provider's server chooses OAuth 2.0 and says what deletion means there. An OAuth
// account is added only with a sign-in stored for exactly its client; the change page fills
// the client in, deleting the account forgets the sign-in. The sign-in itself runs through a
// scripted browser against the test provider, and the account test then logs in with it.
TEST(AccountPages, OAuthAccountsNeedASignInOfTheirOwn) {
    CAccountPages w;
    w.ClickNode(1);
    const auto retype = [&](const QString& id) {
        TypeInto(w.add(), kPassword, "");
        TypeInto(w.add(), kPassword, id);
    };
    Control<QComboBox>(w.add(), kType)->setCurrentIndex(kPop3Type);
    TypeInto(w.add(), kServer, "pop.gmail.com");
    EXPECT_EQ(Control<QComboBox>(w.add(), kSignInChoice)->currentIndex(), 1);
    EXPECT_TRUE(Control<QLabel>(w.add(), kProviderNote)->text().contains("Gmail"));
    EXPECT_EQ(Control<QLabel>(w.add(), kPasswordLabel)->text(), QString("Client ID"));
    TypeInto(w.add(), kUser, "joe@gmail.com");
    retype("cid");
    EXPECT_EQ(std::pair(Enabled(w.add(), kSignIn), Enabled(w.add(), kAdd)), std::pair(true, false));
    const std::string line = "P|pop.gmail.com|joe@gmail.com|https://a|https://t|s|";
    w.dir.Write("OAuth.txt", line + "other||rt\n"); // another client's sign-in
    retype("cid");
    EXPECT_FALSE(Enabled(w.add(), kAdd));
    w.dir.Write("OAuth.txt", line + "cid||rt\n");
    retype("cid");
    ASSERT_TRUE(Enabled(w.add(), kAdd));
    Click(w.add(), kAdd);
    EXPECT_EQ(w.File(), "P||pop.gmail.com|joe@gmail.com|<oauth>\r\n");
    // A sign-in the user chose is not overruled by the server's profile.
    auto* choice = Control<QComboBox>(w.add(), kSignInChoice);
    choice->setCurrentIndex(0);
    emit choice->activated(0);
    TypeInto(w.add(), kServer, "imap.gmail.com");
    EXPECT_EQ(choice->currentIndex(), 0);
    QWidget* change = w.dialog->Page(2);
    w.ClickNode(2);
    ClickRow(change->findChild<QTableWidget*>(), 0);
    Click(change, kChange);
    EXPECT_EQ(Control<QLineEdit>(w.add(), kPassword)->text(), QString("cid"));
    QWidget* remove = w.Open(3);
    ClickRow(remove->findChild<QTableWidget*>(), 0);
    Click(remove, 1017);
    EXPECT_EQ(w.dir.Read("OAuth.txt"), "");

    SKIP_WITHOUT_MAIL_SERVER();
    const std::string provider = CTestMailServer::Env("OAUTH_URL");
    ASSERT_FALSE(provider.empty());
    CHttpTokenEndpoint endpoint;
    w.app->TokenEndpoint = &endpoint;
    w.app->Pop3Port = CTestMailServer::Pop3Port();
    // The provider's addresses as an earlier, unfinished sign-in left them.
    w.dir.Write("OAuth.txt", "P|127.0.0.1|user12|" + provider + "/authorize|" + provider +
                                 "/token|mail|drossgate-test||\n");
    w.ClickNode(1);
    w.Fill("127.0.0.1", "", "user12", "drossgate-test", true, kPop3Type);
    Control<QComboBox>(w.add(), kSignInChoice)->setCurrentIndex(1);
    Click(w.add(), kSignIn);
    QPointer<COAuthSignInDialog> signIn = w.add()->findChild<COAuthSignInDialog*>();
    ASSERT_TRUE(signIn && signIn->SignIn());
    QNetworkAccessManager browser;
    const auto scripted = [&](const QUrl& url) {
        browser.get(QNetworkRequest(url)); // follows the provider's redirect to our port
        return true;
    };
    signIn->SignIn()->OpenBrowser = scripted;
    Click(signIn, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !signIn; }, 20000));
    EXPECT_TRUE(Enabled(w.add(), kAdd));
    EXPECT_FALSE(w.dir.Read("OAuth.txt").ends_with("||\n")); // a refresh token now
    EXPECT_EQ(w.Run(CTestMailServer::Pop3Port(), "user12", "drossgate-test"), kTested);
    // A sign-in whose line in OAuth.txt was lost asks for the client in its own window.
    w.dir.Write("OAuth.txt", "");
    COAuthSignInDialog lost(*w.app,
                            {'P',
                             "127.0.0.1",
                             "user12",
                             {provider + "/authorize", provider + "/token", "mail", "", ""},
                             ""},
                            "revoked");
    const auto edits = lost.findChildren<QLineEdit*>(); // addresses, scope, client, secret
    ASSERT_EQ(edits.size(), 5);
    edits[3]->setText("drossgate-test");
    lost.SignIn()->OpenBrowser = scripted;
    lost.StartSignIn();
    EXPECT_TRUE(QTest::qWaitFor([&] { return lost.result() == QDialog::Accepted; }, 20000));
    EXPECT_NE(w.dir.Read("OAuth.txt").find("|drossgate-test||"), std::string::npos);
    w.app->TokenEndpoint = nullptr;
}
