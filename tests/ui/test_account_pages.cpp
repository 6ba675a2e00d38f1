// The account pages on a real main window: adding, refusing a name in use,
// the button rules, changing through the change page, deleting, and the
// account test with its testing window and result box.
#include "app/core/filter_app.h"
#include "server/mail_server.h"
#include "ui/add_account_page.h"
#include "ui/change_account_page.h"
#include "ui/delete_account_page.h"
#include "ui/login_dialog.h"
#include "ui/testing_dialog.h"
#include "ui_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>

namespace {

constexpr int kServer = 1006, kName = 1014, kUser = 1008, kPassword = 1010, kRemember = 1013,
              kAdd = 1023, kTest = 1012, kType = 1004;

class CAccountPages : public CMainWindowFixture {
  public:
    // The account file is written before the pages load it.
    explicit CAccountPages(const std::string& accounts = "")
        : CMainWindowFixture("[SETTINGS]\r\n", InstalledLanguageFile(), accounts) {}
    CAddAccountPage* add() { return dialog->AddAccountPage(); }
    CChangeAccountPage* change() { return static_cast<CChangeAccountPage*>(dialog->Page(2)); }
    CDeleteAccountPage* del() { return static_cast<CDeleteAccountPage*>(dialog->Page(3)); }
    std::string File() { return ui.fx.dir.Read("ZRKList.zrk"); }
    void Fill(const char* server, const char* name, const char* user, const char* password) {
        TypeInto(add(), kServer, server);
        TypeInto(add(), kName, name);
        TypeInto(add(), kUser, user);
        TypeInto(add(), kPassword, password);
    }
    bool Enabled(QWidget* page, int id) { return Control<QWidget>(page, id)->isEnabled(); }
    void ClickRow(CAccountListPage* page, int row) {
        QTableWidget* list = page->List();
        QRect rect = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
};

TEST(AccountPages, FreshAddPageIsEmptyWithRememberTicked) {
    CAccountPages w;
    auto* type = Control<QComboBox>(w.add(), kType);
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_EQ(type->currentText(), QString("IMAP"));
    EXPECT_EQ(type->itemText(1), QString("POP3"));
    for (int id : {kServer, kName, kUser, kPassword})
        EXPECT_TRUE(Control<QLineEdit>(w.add(), id)->text().isEmpty()) << id;
    EXPECT_TRUE(Control<QCheckBox>(w.add(), kRemember)->isChecked());
    EXPECT_FALSE(w.Enabled(w.add(), kAdd));
    EXPECT_FALSE(w.Enabled(w.add(), kTest));
}

struct ButtonCase {
    const char* Server;
    const char* User;
    const char* Password;
    bool Remember;
    bool Add, Test;
};

class AccountButtons : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(AccountButtons, FollowTheFilledFields) {
    const ButtonCase& c = GetParam();
    CAccountPages w;
    w.Fill(c.Server, "any", c.User, c.Password);
    if (!c.Remember)
        Control<QCheckBox>(w.add(), kRemember)->click();
    EXPECT_EQ(w.Enabled(w.add(), kAdd), c.Add);
    EXPECT_EQ(w.Enabled(w.add(), kTest), c.Test);
}

INSTANTIATE_TEST_SUITE_P(Rules, AccountButtons,
                         ::testing::Values(ButtonCase{"srv", "joe", "pw", true, true, true},
                                           ButtonCase{"srv", "joe", "pw", false, true, true},
                                           ButtonCase{"srv", "joe", "", true, false, false},
                                           ButtonCase{"srv", "joe", "", false, true, false},
                                           ButtonCase{"srv", "", "pw", true, false, false},
                                           ButtonCase{"", "joe", "pw", false, false, false}));

TEST(AccountPages, AddWritesRecordsAndEmptiesTheForm) {
    CAccountPages w;
    Control<QComboBox>(w.add(), kType)->setCurrentIndex(1); // POP3
    w.Fill("srv", "Home", "joe", "pw|1");
    Click(w.add(), kAdd);
    EXPECT_EQ(w.File(), "P|Home|srv|joe|pw|1\r\n");
    for (int id : {kServer, kName, kUser, kPassword})
        EXPECT_TRUE(Control<QLineEdit>(w.add(), id)->text().isEmpty()) << id;
    EXPECT_FALSE(w.Enabled(w.add(), kAdd));

    Control<QComboBox>(w.add(), kType)->setCurrentIndex(0); // IMAP
    w.Fill("srv2", "", "ann", "typed");
    Control<QCheckBox>(w.add(), kRemember)->click(); // not remembered: stored as "*"
    Click(w.add(), kAdd);
    EXPECT_EQ(w.File(), "P|Home|srv|joe|pw|1\r\nI||srv2|ann|*\r\n");
}

TEST(AccountPages, NameInUseIsRefusedWhenAdding) {
    CAccountPages w("P|Home|a|b|c\r\n");
    CAddAccountPage* add = w.add();
    TypeInto(add, kServer, "srv");
    TypeInto(add, kName, "Home");
    TypeInto(add, kUser, "joe");
    TypeInto(add, kPassword, "pw");
    SeenMessage seen;
    AnswerNextMessage(seen);
    Click(add, kAdd);
    EXPECT_TRUE(seen.Shown);
    EXPECT_EQ(seen.Text, QString("Home already exists, please change this name."));
    EXPECT_EQ(seen.Caption, QString("Drossgate"));
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_EQ(w.File(), "P|Home|a|b|c\r\n");
    EXPECT_EQ(Control<QLineEdit>(add, kServer)->text(), QString("srv"));
    EXPECT_EQ(Control<QLineEdit>(add, kName)->selectedText(), QString("Home"));
    // An empty name is never in use.
    TypeInto(add, kName, "");
    Click(add, kAdd);
    EXPECT_EQ(w.File(), "P|Home|a|b|c\r\nI||srv|joe|pw\r\n");
}

TEST(AccountPages, ChangeHandsTheRecordOverAndReplacesIt) {
    CAccountPages w;
    w.ui.fx.dir.Write("ZRKList.zrk", "P|Home|a.example|joe|secret\r\nI|Work|b.example|ann|*\r\n");
    w.Show();
    w.Click(2); // the change page lists the file as it is now
    ASSERT_EQ(w.change()->List()->rowCount(), 2);
    EXPECT_EQ(w.change()->List()->item(1, 0)->text(), QString("Work"));
    EXPECT_EQ(w.change()->List()->item(1, 1)->text(), QString("IMAP"));
    EXPECT_FALSE(w.Enabled(w.change(), 1016));
    w.ClickRow(w.change(), 0);
    EXPECT_TRUE(w.Enabled(w.change(), 1016));
    Click(w.change(), 1016);

    EXPECT_EQ(w.VisiblePage(), 1);
    EXPECT_EQ(w.add()->ChangeOffset(), 0);
    EXPECT_FALSE(w.Enabled(w.change(), 1016));
    EXPECT_EQ(Control<QPushButton>(w.add(), kAdd)->text(), QString("Change Account"));
    EXPECT_TRUE(w.Enabled(w.add(), kAdd));
    EXPECT_TRUE(w.Enabled(w.add(), kTest));
    EXPECT_EQ(Control<QComboBox>(w.add(), kType)->currentText(), QString("POP3"));
    EXPECT_EQ(Control<QLineEdit>(w.add(), kServer)->text(), QString("a.example"));
    EXPECT_EQ(Control<QLineEdit>(w.add(), kPassword)->text(), QString("secret"));
    EXPECT_TRUE(Control<QCheckBox>(w.add(), kRemember)->isChecked());

    // The name of the changed account itself is no obstacle.
    TypeInto(w.add(), kServer, "c.example");
    Click(w.add(), kAdd);
    EXPECT_EQ(w.File(), "-->ome|a.example|joe|sec<--\r\nI|Work|b.example|ann|*\r\n"
                        "P|Home|c.example|joe|secret\r\n");
    EXPECT_EQ(w.add()->ChangeOffset(), -1);
    EXPECT_EQ(Control<QPushButton>(w.add(), kAdd)->text(), QString("Add Account"));

    w.Click(3); // the delete page rebuilt from the file
    ASSERT_EQ(w.del()->List()->rowCount(), 2);
    EXPECT_EQ(w.del()->List()->item(1, 0)->text(), QString("Home"));

    // A record without a stored password: remember unticked, no test.
    w.Click(2);
    w.ClickRow(w.change(), 0);
    Click(w.change(), 1016);
    EXPECT_EQ(Control<QComboBox>(w.add(), kType)->currentText(), QString("IMAP"));
    EXPECT_FALSE(Control<QCheckBox>(w.add(), kRemember)->isChecked());
    EXPECT_TRUE(Control<QLineEdit>(w.add(), kPassword)->text().isEmpty());
    EXPECT_FALSE(w.Enabled(w.add(), kTest));
    EXPECT_TRUE(w.Enabled(w.add(), kAdd));
}

TEST(AccountPages, ChangeWithoutSelectedRowChangesNothing) {
    CAccountPages w;
    const std::string accounts = "P|Home|a.example|joe|secret\r\n";
    w.ui.fx.dir.Write("ZRKList.zrk", accounts);
    w.Show();
    w.Click(2);
    w.ClickRow(w.change(), 0);
    w.Click(3); // leaving and coming back rebuilds the list, the button stays enabled
    w.Click(2);
    ASSERT_TRUE(w.Enabled(w.change(), 1016));
    ASSERT_TRUE(w.change()->List()->selectionModel()->selectedRows().isEmpty());
    Click(w.change(), 1016);
    EXPECT_EQ(w.VisiblePage(), 2);
    EXPECT_EQ(w.add()->ChangeOffset(), -1);
    EXPECT_FALSE(w.Enabled(w.change(), 1016));
    EXPECT_EQ(w.File(), accounts);
}

TEST(AccountPages, DeleteMarksTheSelectedRecordsDead) {
    CAccountPages w;
    w.ui.fx.dir.Write("ZRKList.zrk",
                      "P|A|s1|u1|p1\r\nP|B|s2|u2|p2\r\nI|C|s3|u3|*\r\nP|D|s4|u4|p4\r\n");
    w.Show();
    w.Click(3);
    w.ClickRow(w.del(), 0);
    ASSERT_TRUE(w.Enabled(w.del(), 1017));
    QTableWidget* list = w.del()->List();
    for (int row : {1, 3})
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Click(w.del(), 1017);
    EXPECT_EQ(w.File(), "-->|s1|u1<--\r\n-->|s2|u2<--\r\nI|C|s3|u3|*\r\n-->|s4|u4<--\r\n");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 0)->text(), QString("C"));
    EXPECT_FALSE(w.Enabled(w.del(), 1017));
    w.ClickRow(w.del(), 0);
    EXPECT_TRUE(w.Enabled(w.del(), 1017));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 3));
    EXPECT_FALSE(w.Enabled(w.del(), 1017));

    w.Click(2);
    EXPECT_EQ(w.change()->List()->rowCount(), 1);
}

TEST(AccountPages, ServerNameLosesForbiddenCharactersOnLeaving) {
    CAccountPages w;
    w.Show();
    w.Click(1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.dialog.get()));
    auto* server = Control<QLineEdit>(w.add(), kServer);
    server->setFocus(Qt::TabFocusReason);
    server->setText("mail_x@y.example");
    CBoxRecorder boxes;
    Control<QLineEdit>(w.add(), kUser)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(boxes.WaitFor(1));
    QTest::qWait(0);
    EXPECT_EQ(server->text(), QString("mailxy.example"));
    EXPECT_TRUE(boxes.seen[0].Text.startsWith("Invalid Server Name"));
    EXPECT_EQ(boxes.seen.size(), 1u);
}

// ---- The account test ----

class AccountTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prompt_ = std::make_unique<CLoginPrompt>(w.ui.app());
        w.ui.app().LoginPrompt = prompt_.get();
        w.ui.app().ServerTimeoutMsOverride = 5000;
        w.Show();
        w.Click(1);
    }
    void TearDown() override { w.ui.app().LoginPrompt = nullptr; }

    // Starts a test of a POP3 (or IMAP) account and returns the result box.
    SeenMessage Run(int port, const char* user, const char* password, bool imap = false) {
        (imap ? w.ui.app().ImapPort : w.ui.app().Pop3Port) = port;
        Control<QComboBox>(w.add(), kType)->setCurrentIndex(imap ? 0 : 1);
        w.Fill("127.0.0.1", "", user, password);
        CBoxRecorder boxes;
        Click(w.add(), kTest);
        EXPECT_FALSE(w.Enabled(w.add(), kServer));
        EXPECT_FALSE(w.Enabled(w.add(), kType));
        EXPECT_EQ(w.add()->findChildren<CTestingDialog*>().size(), 1);
        EXPECT_TRUE(boxes.WaitFor(1, 30000));
        EXPECT_TRUE(w.Enabled(w.add(), kServer));
        EXPECT_EQ(Control<QLineEdit>(w.add(), kUser)->text(), QString(user));
        EXPECT_TRUE(w.add()->findChildren<CTestingDialog*>().isEmpty());
        return boxes.seen.empty() ? SeenMessage{} : boxes.seen[0];
    }

    CAccountPages w;
    std::unique_ptr<CLoginPrompt> prompt_;
};

TEST_F(AccountTest, UnreachableServerShowsConnectFailure) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const int port = closed.serverPort();
    closed.close(); // nobody listens there now
    SeenMessage seen = Run(port, "joe", "pw");
    EXPECT_EQ(seen.Text, QString("Can't connect to the server at this time, try again later"));
    EXPECT_EQ(seen.Caption, QString("Falid"));
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
}

TEST_F(AccountTest, AgainstTestServer) {
    if (!CTestMailServer::Available())
        GTEST_SKIP() << "no test mail server (run under scripts/test_mailserver)";
    const std::string password = CTestMailServer::Password("user12");
    SeenMessage good = Run(CTestMailServer::Pop3Port(), "user12", password.c_str());
    EXPECT_EQ(good.Text, QString("Account settings have been tested successfully"));
    EXPECT_EQ(good.Icon, QMessageBox::Information);

    // Rejected: the prompt comes up with the user name; Cancel ends the test.
    WhenModal<CLoginDialog>([](CLoginDialog* prompt) {
        EXPECT_EQ(Control<QLineEdit>(prompt, 1028)->text(), QString("user12"));
        Click(prompt, 2);
    });
    SeenMessage rejected = Run(CTestMailServer::Pop3Port(), "user12", "wrong");
    EXPECT_EQ(rejected.Text, QString("Incorrect user name or password"));
    EXPECT_EQ(rejected.Icon, QMessageBox::Critical);

    // Rejected, then the right password typed into the prompt.
    WhenModal<CLoginDialog>([password](CLoginDialog* prompt) {
        Control<QLineEdit>(prompt, 1029)->setText(QString::fromStdString(password));
        Click(prompt, 1);
    });
    SeenMessage retried = Run(CTestMailServer::Pop3Port(), "user12", "wrong");
    EXPECT_EQ(retried.Text, QString("Account settings have been tested successfully"));

    // An IMAP account is tested with the IMAP login.
    SeenMessage imap = Run(CTestMailServer::ImapPort(), "user12", password.c_str(), true);
    EXPECT_EQ(imap.Text, QString("Account settings have been tested successfully"));
}

} // namespace
