// The friends and blocked list pages with the Add Sender dialog, driven as a
// user would: rows from the files, adds that reach the filter at once,
// deletes that mark the file, and edits in place checked and completed.
#include "core/filter_fixture.h"
#include "ui/add_sender_dialog.h"
#include "ui/blocked_list_page.h"
#include "ui/friend_list_page.h"
#include "ui/main_dialog.h"
#include "ui/name_field_filter.h"
#include "ui/sender_entry_check.h"
#include "window_support.h"

#include <QTableWidget>
#include <QTest>

namespace {
const std::string kBlockedFile = "Blocked List.zrk";
const std::string kFriendFile = "Friend List.zrk";

struct CompletionCase {
    const char* Typed;
    SenderEditCheck Check;
    const char* Kept; // the row's text afterwards, when it is not refused
};

void PrintTo(const CompletionCase& c, std::ostream* out) {
    *out << c.Typed;
}

class SenderCompletion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(SenderCompletion, RefusesOrCompletesAsTyped) {
    const CompletionCase& c = GetParam();
    QString kept;
    EXPECT_EQ(CheckAndCompleteSenderText(c.Typed, kept), c.Check) << c.Typed;
    if (c.Kept) {
        EXPECT_EQ(kept, QString(c.Kept)) << c.Typed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SenderCompletion,
    ::testing::Values(
        CompletionCase{"ann mail.example", SenderEditCheck::InvalidName, nullptr},
        CompletionCase{"{ann} @mailexample", SenderEditCheck::InvalidDomain, nullptr},
        CompletionCase{"{ann @mailexample", SenderEditCheck::InvalidDomain, nullptr},
        CompletionCase{"{ann} @mail.example", SenderEditCheck::Kept, "{ann} @mail.example"},
        CompletionCase{"ann} @mail.example", SenderEditCheck::Completed, "{ann} @mail.example"},
        CompletionCase{"{ann @mail.example", SenderEditCheck::Completed, "{ann} @mail.example"},
        CompletionCase{"{ann} mail.example", SenderEditCheck::Completed, "{ann} @mail.example"},
        // Positions count in the text as typed, not in the lengthened one.
        CompletionCase{"ann @mail.example", SenderEditCheck::Completed, "{an}n @mail.example"},
        CompletionCase{"@mail.example", SenderEditCheck::Completed, "}{@mail.example"},
        CompletionCase{"ann}.", SenderEditCheck::Completed, "{ann}@."}));

TEST(NameFilter, KeepsWhatTheKindAllows) {
    EXPECT_EQ(FilterNameChars("ann.b_c@x", 'U', ""), "ann.b_c@x");
    EXPECT_EQ(FilterNameChars("ann.b_c@x", 'S', ""), "ann.bcx");
    EXPECT_EQ(FilterNameChars("*a b|c", 'U', "*"), "*abc");
    EXPECT_EQ(FilterNameChars("*a", 'U', ""), "a");
    // Judged by the low seven bits: 233 counts as "i", 160 as a blank.
    EXPECT_EQ(FilterNameChars(QString("r") + QChar(233) + QChar(160) + "s", 'S', ""),
              QString("r") + QChar(233) + "s");
}

class SenderPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fx.Start());
        host.resize(800, 500);
        host.show();
    }
    template <class Page> Page* MakePage() {
        auto* page = new Page(*fx.app, nullptr, &host);
        list = Control<QTableWidget>(page, 1026);
        return page;
    }
    QStringList Rows() const {
        QStringList rows;
        for (int r = 0; r < list->rowCount(); ++r)
            rows << list->item(r, 0)->text();
        return rows;
    }
    QPoint RowCentre(int row) const { return list->visualItemRect(list->item(row, 0)).center(); }
    void AddSender(QWidget* page, const QString& name, const QString& domain) {
        WhenModal<CAddSenderDialog>([name, domain](CAddSenderDialog* dialog) {
            TypeInto(dialog, 1032, name);
            TypeInto(dialog, 1029, domain);
            Click(dialog, 1);
        });
        Click(page, 1023);
    }

    CAppFixture fx;
    QWidget host;
    QTableWidget* list = nullptr;
};

TEST_F(SenderPageTest, FirstLoadShowsLiveRowsAndFillsTheFilterOnce) {
    fx.dir.Write(kBlockedFile,
                 "   ann@mail.example\r\n|*|bob@mail.example\r\n   *@offers.example\r\n");
    MakePage<CBlockedListPage>();
    EXPECT_EQ(Rows(), QStringList({"{ann} @mail.example", "{*} @offers.example"}));
    EXPECT_EQ(list->item(1, 0)->data(Qt::UserRole).toLongLong(), 42);
    EXPECT_EQ(fx.app->BlockedAddresses.Size(), 1u);
    EXPECT_EQ(fx.app->BlockedDomains.Size(), 1u);
    EXPECT_TRUE(fx.app->BlockedDomains.Contains("offers.example"));
    EXPECT_FALSE(fx.app->BlockedAddresses.Contains("bob@mail.example"));
    EXPECT_EQ(fx.app->FriendAddresses.Size(), 0u);
}

// Creating the main window, as start-up does before the first check, loads
// each list into the filter exactly once and builds the spam tables.
TEST_F(SenderPageTest, MainWindowCreationLoadsEachListOnce) {
    fx.dir.Write(kFriendFile, "   ann@mail.example\r\n   *@family.example\r\n");
    fx.dir.Write(kBlockedFile, "   *@offers.example\r\n");
    fx.app->SpamWordList.Set({"offer>5"});
    CMainDialog main(*fx.app);
    EXPECT_EQ(fx.app->FriendAddresses.Size(), 1u);
    EXPECT_EQ(fx.app->FriendDomains.Size(), 1u);
    EXPECT_EQ(fx.app->BlockedDomains.Size(), 1u);
    EXPECT_TRUE(fx.app->SpamTablesBuilt.load());
    EXPECT_EQ(fx.app->SpamDegreeTotal, 5);
}

TEST_F(SenderPageTest, WildcardAddActsAsDomainEntryAtOnce) {
    auto* page = MakePage<CBlockedListPage>();
    page->show();
    AddSender(page, "", "offers.example");
    EXPECT_EQ(Rows(), QStringList({"{*} @offers.example"}));
    EXPECT_EQ(fx.dir.Read(kBlockedFile), "   *@offers.example\r\n");
    EXPECT_EQ(list->item(0, 0)->data(Qt::UserRole).toLongLong(), 0);

    filter_test::Mail mail;
    mail.From = "deals@offers.example";
    fx.app->MailLifeTime = 1000000; // judged by the lists only, not by its age
    const auto verdicts = fx.app->JudgeBatch({filter_test::MessageText(mail)});
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts[0], 0);
    EXPECT_EQ(fx.app->GetHistorySnapshot().back()->Reason, "23003");
}

TEST_F(SenderPageTest, FriendAddGoesToTheFriendFile) {
    auto* page = MakePage<CFriendListPage>();
    page->show();
    AddSender(page, "ann", "mail.example");
    EXPECT_EQ(Rows(), QStringList({"{ann} @mail.example"}));
    EXPECT_EQ(fx.dir.Read(kFriendFile), "   ann@mail.example\r\n");
    EXPECT_TRUE(fx.app->FriendAddresses.Contains("ann@mail.example"));
    EXPECT_FALSE(fx.dir.Exists(kBlockedFile));
}

class BadDomainTest : public SenderPageTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadDomainTest, IsRefusedAndTheDialogStays) {
    auto* page = MakePage<CBlockedListPage>();
    page->show();
    SeenMessage seen;
    bool stayedOpen = false;
    const QString domain = GetParam();
    WhenModal<CAddSenderDialog>([&](CAddSenderDialog* dialog) {
        TypeInto(dialog, 1029, domain);
        AnswerNextMessage(seen);
        Click(dialog, 1);
        stayedOpen = dialog->isVisible();
        Click(dialog, 2);
    });
    Click(page, 1023);
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(seen.Shown);
    EXPECT_EQ(seen.Caption, "Invalid Domain Name");
    EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    EXPECT_TRUE(seen.Text.startsWith(domain + " is not a vaild domain name (e.g. ")) << seen.Text;
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_FALSE(fx.dir.Exists(kBlockedFile));
}

INSTANTIATE_TEST_SUITE_P(Domains, BadDomainTest,
                         ::testing::Values("offers", ".offers", "offers.", "."));

TEST_F(SenderPageTest, DeletingSelectedRowsMarksTheirLines) {
    const std::string file =
        "   a@x.example\r\n   b@x.example\r\n   c@x.example\r\n   d@x.example\r\n";
    fx.dir.Write(kFriendFile, file);
    auto* page = MakePage<CFriendListPage>();
    page->show();
    auto* deleteButton = Control<QPushButton>(page, 1017);
    EXPECT_FALSE(deleteButton->isEnabled());

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(0));
    EXPECT_TRUE(deleteButton->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(3));
    Click(page, 1017);

    EXPECT_EQ(Rows(), QStringList({"{c} @x.example"}));
    EXPECT_FALSE(deleteButton->isEnabled());
    std::string marked = file;
    for (size_t offset : {0, 16, 48})
        marked.replace(offset, 3, "|*|");
    EXPECT_EQ(fx.dir.Read(kFriendFile), marked);
}

TEST_F(SenderPageTest, ClickOnEmptySpaceDisablesDelete) {
    fx.dir.Write(kBlockedFile, "   a@x.example\r\n");
    auto* page = MakePage<CBlockedListPage>();
    page->show();
    auto* deleteButton = Control<QPushButton>(page, 1017);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(0));
    ASSERT_TRUE(deleteButton->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 5));
    EXPECT_FALSE(deleteButton->isEnabled());
}

struct EditCase {
    const char* Typed;
    const char* Shown;   // the row afterwards
    const char* Caption; // of the refusal, or null
};

void PrintTo(const EditCase& c, std::ostream* out) {
    *out << c.Typed;
}

class InPlaceEditTest : public SenderPageTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(InPlaceEditTest, IsCompletedOrRefused) {
    const EditCase& c = GetParam();
    fx.dir.Write(kBlockedFile, "   bob@mail.example\r\n");
    auto* page = MakePage<CBlockedListPage>();
    page->show();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(0));
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    SeenMessage seen;
    if (c.Caption)
        AnswerNextMessage(seen);
    editor->setText(c.Typed);
    QTest::keyClick(editor, Qt::Key_Return);
    if (c.Caption) {
        ASSERT_TRUE(WaitUntil([&] { return seen.Shown; }));
        EXPECT_EQ(seen.Caption, c.Caption);
        EXPECT_EQ(seen.Text, "This is not a valid email");
        EXPECT_EQ(seen.Icon, QMessageBox::Critical);
    }
    EXPECT_TRUE(WaitUntil([&] { return list->item(0, 0)->text() == c.Shown; }))
        << list->item(0, 0)->text();
    // Only the row changed; the next show or hide brings back the file's entry.
    EXPECT_EQ(fx.dir.Read(kBlockedFile), "   bob@mail.example\r\n");
    page->hide();
    EXPECT_EQ(Rows(), QStringList({"{bob} @mail.example"}));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, InPlaceEditTest,
    ::testing::Values(EditCase{"{rob} @mail.example", "{rob} @mail.example", nullptr},
                      EditCase{"rob} @mail.example", "{rob} @mail.example", nullptr},
                      EditCase{"{rob} mail.example", "{rob} @mail.example", nullptr},
                      EditCase{"rob mail.example", "{bob} @mail.example", "Invalid name"},
                      EditCase{"{rob} @mailexample", "{bob} @mail.example",
                               "Invalid domain name"}));

TEST_F(SenderPageTest, FriendRowsAreNotEditable) {
    fx.dir.Write(kFriendFile, "   ann@mail.example\r\n");
    auto* page = MakePage<CFriendListPage>();
    page->show();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(0));
    EXPECT_EQ(list->viewport()->findChild<QLineEdit*>(), nullptr);
}

TEST(SenderPageLanguage, ShowLocalizesAndReloadsTheFile) {
    CAppFixture fx("[SETTINGS]\r\n", "test");
    fx.dir.Write("Language/test.ini", "[Tarnwick]\r\n7004=Buddies\r\n7002=Plus\r\n");
    ASSERT_TRUE(fx.Start());
    QWidget host;
    host.show();
    auto* page = new CFriendListPage(*fx.app, nullptr, &host);
    auto* list = Control<QTableWidget>(page, 1026);
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Friends List");
    fx.dir.Write(kFriendFile, "   ann@mail.example\r\n");
    page->show();
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Buddies");
    EXPECT_EQ(Control<QPushButton>(page, 1023)->text(), "Plus");
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 0)->text(), "{ann} @mail.example");
    // Each load appends the live entries to the filter's list again.
    page->hide();
    EXPECT_EQ(fx.app->FriendAddresses.Size(), 2u);
}
} // namespace
