// The account pages on a real main window: the button rules, adding,
// refusing a name in use, changing through the change page, deleting, and
// the account test with its testing window and result box.
#include "server/mail_server.h"
#include "ui/add_account_page.h"
#include "ui/change_account_page.h"
#include "ui/delete_account_page.h"
#include "ui/login_dialog.h"
#include "ui/testing_dialog.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTcpServer>

namespace {

constexpr int kType = 1004, kServer = 1006, kUser = 1008, kPassword = 1010, kTest = 1012,
              kRemember = 1013, kName = 1014, kChange = 1016, kDelete = 1017, kAdd = 1023;

class CAccountPages : public CMainWindowFixture {
  public:
    using CMainWindowFixture::CMainWindowFixture;
    CAddAccountPage* add() { return dialog->AddAccountPage(); }
    CAccountListPage* change() { return static_cast<CAccountListPage*>(dialog->Page(2)); }
    CAccountListPage* del() { return static_cast<CAccountListPage*>(dialog->Page(3)); }
    std::string File() { return dir.Read("ZRKList.zrk"); }
    QString Text(int id) { return Control<QLineEdit>(add(), id)->text(); }
    QCheckBox* Remember() { return Control<QCheckBox>(add(), kRemember); }
    void Fill(const char* server, const char* name, const char* user, const char* password) {
        TypeInto(add(), kServer, server);
        TypeInto(add(), kName, name);
        TypeInto(add(), kUser, user);
        TypeInto(add(), kPassword, password);
    }
};

struct ButtonCase {
    const char *Server, *User, *Password;
    bool Remember, Add, Test;
};

// The buttons follow the fields, in an order where each tick or untick of
// "remember" changes one. A name in use is refused, an empty name never is;
// an added record empties the form; a password not remembered is stored as
// "*".
TEST(AccountPages, ButtonsAndAddingRecords) {
    const ButtonCase cases[] = {
        {"", "", "", true, false, false},        {"srv", "joe", "pw", true, true, true},
        {"srv", "joe", "", true, false, false},  {"srv", "joe", "", false, true, false},
        {"srv", "joe", "pw", false, true, true}, {"srv", "", "pw", true, false, false},
        {"", "joe", "pw", false, false, false}};
    CAccountPages w("[SETTINGS]\r\n", InstalledLanguageFile(), "P|Home|a|b|c\r\n");
    EXPECT_TRUE(w.Remember()->isChecked());
    for (const ButtonCase& c : cases) {
        w.Fill(c.Server, "any", c.User, c.Password);
        if (w.Remember()->isChecked() != c.Remember)
            w.Remember()->click();
        EXPECT_EQ(Enabled(w.add(), kAdd), c.Add) << c.Server << c.User << c.Password;
        EXPECT_EQ(Enabled(w.add(), kTest), c.Test) << c.Server << c.User << c.Password;
    }
    w.Remember()->click();
    CBoxRecorder boxes;
    w.Fill("srv", "Home", "joe", "pw");
    Click(w.add(), kAdd);
    EXPECT_EQ(boxes.seen, (std::vector<SeenMessage>{
                              {"Drossgate", "Home already exists, please change this name.",
                               QMessageBox::Critical}}));
    EXPECT_EQ(w.File(), "P|Home|a|b|c\r\n");
    EXPECT_EQ(w.Text(kServer), QString("srv"));
    EXPECT_EQ(Control<QLineEdit>(w.add(), kName)->selectedText(), QString("Home"));

    Control<QComboBox>(w.add(), kType)->setCurrentIndex(1); // POP3
    w.Fill("srv", "", "joe", "pw|1");
    Click(w.add(), kAdd);
    EXPECT_EQ(w.File(), "P|Home|a|b|c\r\nP||srv|joe|pw|1\r\n");
    for (int id : {kServer, kName, kUser, kPassword})
        EXPECT_TRUE(w.Text(id).isEmpty()) << id;
    EXPECT_FALSE(Enabled(w.add(), kAdd));
    Control<QComboBox>(w.add(), kType)->setCurrentIndex(0); // IMAP
    w.Fill("srv2", "Work", "ann", "typed");
    w.Remember()->click();
    Click(w.add(), kAdd);
    EXPECT_EQ(w.File(), "P|Home|a|b|c\r\nP||srv|joe|pw|1\r\nI|Work|srv2|ann|*\r\n");
    EXPECT_EQ(boxes.seen.size(), 1u);
}

// Leaving the change page and coming back rebuilds its list with nothing
// selected while the button stays enabled: it must not change any record.
TEST(AccountPages, ChangeHandsTheRecordOverAndReplacesIt) {
    CAccountPages w;
    w.dir.Write("ZRKList.zrk", "P|Home|a.example|joe|secret\r\nI|Work|b.example|ann|*\r\n");
    w.Show();
    w.ClickNode(2); // the change page lists the file as it is now
    EXPECT_EQ(Column(w.change()->List()->model(), 0), QStringList({"Home", "Work"}));
    EXPECT_EQ(Column(w.change()->List()->model(), 1), QStringList({"POP3", "IMAP"}));
    EXPECT_FALSE(Enabled(w.change(), kChange));
    ClickRow(w.change()->List(), 0);
    Click(w.change(), kChange);
    EXPECT_EQ(w.VisiblePage(), 1);
    EXPECT_FALSE(Enabled(w.change(), kChange));
    EXPECT_EQ(Control<QPushButton>(w.add(), kAdd)->text(), QString("Change Account"));
    EXPECT_TRUE(Enabled(w.add(), kTest));
    EXPECT_EQ(Control<QComboBox>(w.add(), kType)->currentText(), QString("POP3"));
    EXPECT_EQ(w.Text(kServer) + w.Text(kName) + w.Text(kUser) + w.Text(kPassword),
              QString("a.exampleHomejoesecret"));
    EXPECT_TRUE(w.Remember()->isChecked());
    TypeInto(w.add(), kServer, "c.example"); // its own name is no obstacle
    Click(w.add(), kAdd);
    const std::string changed = "-->ome|a.example|joe|sec<--\r\nI|Work|b.example|ann|*\r\n"
                                "P|Home|c.example|joe|secret\r\n";
    EXPECT_EQ(w.File(), changed);
    EXPECT_EQ(Control<QPushButton>(w.add(), kAdd)->text(), QString("Add Account"));

    w.ClickNode(2);
    ClickRow(w.change()->List(), 0);
    w.ClickNode(3); // the delete page rebuilt from the file
    EXPECT_EQ(Column(w.del()->List()->model()), QStringList({"Work", "Home"}));
    w.ClickNode(2);
    ASSERT_TRUE(Enabled(w.change(), kChange));
    ASSERT_TRUE(w.change()->List()->selectionModel()->selectedRows().isEmpty());
    Click(w.change(), kChange);
    EXPECT_EQ(w.VisiblePage(), 2);
    EXPECT_EQ(w.add()->ChangeOffset(), -1);
    EXPECT_FALSE(Enabled(w.change(), kChange));
    EXPECT_EQ(w.File(), changed);

    // A record without a stored password: remember unticked, no test.
    ClickRow(w.change()->List(), 0);
    Click(w.change(), kChange);
    EXPECT_EQ(Control<QComboBox>(w.add(), kType)->currentText(), QString("IMAP"));
    EXPECT_FALSE(w.Remember()->isChecked());
    EXPECT_TRUE(w.Text(kPassword).isEmpty());
    EXPECT_FALSE(Enabled(w.add(), kTest));
    EXPECT_TRUE(Enabled(w.add(), kAdd));
}

TEST(AccountPages, DeleteMarksTheSelectedRecordsDead) {
    CAccountPages w;
    w.dir.Write("ZRKList.zrk", "P|A|s1|u1|p1\r\nP|B|s2|u2|p2\r\nI|C|s3|u3|*\r\nP|D|s4|u4|p4\r\n");
    w.Show();
    w.ClickNode(3);
    QTableWidget* list = w.del()->List();
    ClickRow(list, 0);
    ASSERT_TRUE(Enabled(w.del(), kDelete));
    ClickRow(list, 1, Qt::ControlModifier);
    ClickRow(list, 3, Qt::ControlModifier);
    Click(w.del(), kDelete);
    EXPECT_EQ(w.File(), "-->|s1|u1<--\r\n-->|s2|u2<--\r\nI|C|s3|u3|*\r\n-->|s4|u4<--\r\n");
    EXPECT_EQ(Column(list->model()), QStringList({"C"}));
    EXPECT_FALSE(Enabled(w.del(), kDelete));
    ClickRow(list, 0);
    EXPECT_TRUE(Enabled(w.del(), kDelete));
    ClickRow(list, -1); // empty space
    EXPECT_FALSE(Enabled(w.del(), kDelete));
    w.ClickNode(2);
    EXPECT_EQ(w.change()->List()->rowCount(), 1);
}

// One message, though the box takes the focus away from the field again.
TEST(AccountPages, ServerNameLosesForbiddenCharactersOnLeaving) {
    CAccountPages w;
    w.Show();
    w.ClickNode(1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.dialog.get()));
    auto* server = Control<QLineEdit>(w.add(), kServer);
    server->setFocus(Qt::TabFocusReason);
    server->setText("mail_x@y.example");
    CBoxRecorder boxes;
    Control<QLineEdit>(w.add(), kUser)->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->text() == "mailxy.example"; }, 5000));
    ASSERT_TRUE(boxes.WaitFor(1));
    EXPECT_TRUE(boxes.seen[0].Text.startsWith("Invalid Server Name"));
    EXPECT_EQ(boxes.seen.size(), 1u);
}

// The account test, with the login prompt the real one.
class AccountTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w.app->LoginPrompt = &prompt;
        w.app->ServerTimeoutMsOverride = 5000;
        w.Show();
        w.ClickNode(1);
    }
    void TearDown() override { w.app->LoginPrompt = nullptr; }

    // Tests a POP3 (or IMAP) account at `port` and returns the result box.
    SeenMessage Run(int port, const char* user, const char* password, bool imap = false) {
        (imap ? w.app->ImapPort : w.app->Pop3Port) = port;
        Control<QComboBox>(w.add(), kType)->setCurrentIndex(imap ? 0 : 1);
        w.Fill("127.0.0.1", "", user, password);
        CBoxRecorder boxes;
        Click(w.add(), kTest);
        EXPECT_FALSE(Enabled(w.add(), kServer)); // fields locked while it runs
        EXPECT_FALSE(Enabled(w.add(), kType));
        EXPECT_EQ(w.add()->findChildren<CTestingDialog*>().size(), 1);
        EXPECT_TRUE(boxes.WaitFor(1, 30000));
        EXPECT_TRUE(Enabled(w.add(), kServer));
        EXPECT_EQ(w.Text(kUser), QString(user));
        EXPECT_TRUE(w.add()->findChildren<CTestingDialog*>().isEmpty());
        return boxes.seen.empty() ? SeenMessage{} : boxes.seen[0];
    }

    CAccountPages w;
    CLoginPrompt prompt{*w.app};
};

TEST_F(AccountTest, UnreachableServerShowsConnectFailure) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const int port = closed.serverPort();
    closed.close(); // nobody listens there now
    EXPECT_EQ(Run(port, "joe", "pw"),
              (SeenMessage{"Falid", "Can't connect to the server at this time, try again later",
                           QMessageBox::Critical}));
}

TEST_F(AccountTest, AgainstTestServer) {
    SKIP_WITHOUT_MAIL_SERVER();
    const std::string password = CTestMailServer::Password("user12");
    const SeenMessage good{"Falid", "Account settings have been tested successfully",
                           QMessageBox::Information};
    EXPECT_EQ(Run(CTestMailServer::Pop3Port(), "user12", password.c_str()), good);
    EXPECT_EQ(Run(CTestMailServer::ImapPort(), "user12", password.c_str(), true), good);

    // Rejected: the prompt comes up with the user name; Cancel ends the test.
    WhenModal<CLoginDialog>([](CLoginDialog* login) {
        EXPECT_EQ(Control<QLineEdit>(login, 1028)->text(), QString("user12"));
        Click(login, 2);
    });
    EXPECT_EQ(Run(CTestMailServer::Pop3Port(), "user12", "wrong"),
              (SeenMessage{"Falid", "Incorrect user name or password", QMessageBox::Critical}));

    // Rejected, then the right password typed into the prompt.
    WhenModal<CLoginDialog>([password](CLoginDialog* login) {
        TypeInto(login, 1029, QString::fromStdString(password));
        Click(login, 1);
    });
    EXPECT_EQ(Run(CTestMailServer::Pop3Port(), "user12", "wrong"), good);
}

} // namespace
