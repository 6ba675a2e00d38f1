// The account, friends, blocked and spam-word list pages in the main window.
#include "core/filter_fixture.h"
#include "ui/add_sender_dialog.h"
#include "ui/add_spam_word_dialog.h"
#include "ui_fixture.h"

namespace {
const std::string kBlocked = "Blocked List.zrk", kFriends = "Friend List.zrk";
constexpr int kDelete = 1017, kAdd = 1023, kDomain = 1029;
constexpr int kDeleteAccountPage = 3, kSpamWordsPage = 5, kFriendsPage = 6, kBlockedPage = 7;

QTableWidget* List(QWidget* page) {
    return page->findChild<QTableWidget*>();
}
QStringList Rows(QWidget* page, int column = 0) {
    return Column(List(page)->model(), column);
}

// Page, file, its lines, the rows picked, the file then, the rows left.
using DeleteCase =
    std::tuple<int, std::string, std::string, std::vector<int>, std::string, QStringList>;
class DeleteRows : public ::testing::TestWithParam<DeleteCase> {};

// Delete is there only while rows are selected; empty space unselects.
// Each row carries its line's offset, dead lines counted.
TEST_P(DeleteRows, MarkExactlyTheSelectedLines) {
    const auto& [index, file, before, selected, after, left] = GetParam();
    CMainWindowFixture w;
    w.dir.Write(file, before);
    QWidget* page = w.Open(index);
    EXPECT_FALSE(Enabled(page, kDelete));
    for (int row : selected)
        ClickRow(List(page), row, Qt::ControlModifier);
    Click(page, kDelete);
    EXPECT_EQ(std::pair(w.dir.Read(file), Rows(page)), std::pair(after, left));
    EXPECT_FALSE(Enabled(page, kDelete));
    ClickRow(List(page), 0);
    ASSERT_TRUE(Enabled(page, kDelete));
    ClickRow(List(page), -1);
    EXPECT_FALSE(Enabled(page, kDelete));
}
const DeleteCase kDeleteCases[] = {
    {kDeleteAccountPage,
     "ZRKList.zrk",
     "P|A|s1|u1|p1\r\nP|B|s2|u2|p2\r\nI|C|s3|u3|*\r\nP|D|s4|u4|p4\r\n",
     {0, 1, 3},
     "-->|s1|u1<--\r\n-->|s2|u2<--\r\nI|C|s3|u3|*\r\n-->|s4|u4<--\r\n",
     {"C"}},
    {kFriendsPage,
     kFriends,
     "   a@x.example\r\n   b@x.example\r\n   c@x.example\r\n",
     {0, 2},
     "|*|a@x.example\r\n   b@x.example\r\n|*|c@x.example\r\n",
     {"{b} @x.example"}},
    {kBlockedPage,
     kBlocked,
     "   a@x.example\r\n|*|z@x.example\r\n   *@y.example\r\n",
     {1},
     "   a@x.example\r\n|*|z@x.example\r\n|*|*@y.example\r\n",
     {"{a} @x.example"}}};
INSTANTIATE_TEST_SUITE_P(ListPages, DeleteRows, ::testing::ValuesIn(kDeleteCases));

// A bad domain is refused with the dialog kept open; a "*" name makes a
// domain entry that the filter uses at once.
TEST(SenderPages, AddsReachTheirFileAndTheFilterAtOnce) {
    CMainWindowFixture w;
    CBoxRecorder boxes;
    bool stayedOpen = false;
    WhenModal<CAddSenderDialog>([&](CAddSenderDialog* dialog) {
        TypeInto(dialog, kDomain, "offers.");
        Click(dialog, 1);
        stayedOpen = dialog->isVisible();
        TypeInto(dialog, kDomain, "offers.example");
        Click(dialog, 1);
    });
    Click(w.Open(kBlockedPage), kAdd);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].Caption, "Invalid Domain Name");
    filter_test::Mail mail;
    mail.From = "deals@offers.example";
    w.app->MailLifeTime = 1000000; // judged by the lists only, not by its age
    EXPECT_EQ(w.app->JudgeBatch({filter_test::MessageText(mail)}), std::vector<unsigned char>{0});

    WhenModal<CAddSenderDialog>([](CAddSenderDialog* dialog) {
        TypeInto(dialog, 1032, "ann");
        TypeInto(dialog, kDomain, "mail.example");
        Click(dialog, 1);
    });
    QWidget* friends = w.Open(kFriendsPage);
    Click(friends, kAdd);
    EXPECT_EQ(Rows(friends), QStringList({"{ann} @mail.example"}));
    EXPECT_TRUE(w.app->FriendAddresses.Contains("ann@mail.example"));
    EXPECT_EQ(w.dir.Read(kFriends) + w.dir.Read(kBlocked),
              "   ann@mail.example\r\n   *@offers.example\r\n");
}

// A single-byte language file reads the same in a window title and in a
// message box.
TEST(SenderPages, Latin1LanguageFileInTitlesAndMessages) {
    const std::string bytes = "Gr\xFC\xDF";
    CUiApp ui("[SETTINGS]\r\n", "[Tarnwick]\r\n2000=" + bytes + "\r\n17018=" + bytes + "\r\n");
    CAddSenderDialog dialog(*ui.app, nullptr);
    CBoxRecorder boxes;
    WhenModal<CAddSenderDialog>([&](CAddSenderDialog* shown) {
        TypeInto(shown, kDomain, "offers.");
        Click(shown, 1);
        shown->reject();
    });
    dialog.Run();
    ASSERT_EQ(boxes.seen.size(), 1u);
    const QString word = QString::fromLatin1(bytes);
    EXPECT_EQ(std::pair(dialog.windowTitle(), boxes.seen[0].Caption), std::pair(word, word));
}

// An edit in place changes only the row: completed with the marks it lacks
// (inserted at positions counted in the text as typed), or refused with a
// message. The next show or hide brings back the file's entry.
TEST(SenderPages, InPlaceEditChangesOnlyTheRow) {
    const char *name = "Invalid name", *domain = "Invalid domain name";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // typed, the row then ("": unchanged), the message's caption ("": none)
        {"{ann} @m.x", "{ann} @m.x", ""}, {"ann} @m.x", "{ann} @m.x", ""},
        {"{ann @m.x", "{ann} @m.x", ""},  {"{ann} m.x", "{ann} @m.x", ""},
        {"ann @m.x", "{an}n @m.x", ""},   {"@m.x", "}{@m.x", ""},
        {"ann}.", "{ann}@.", ""},         {"ann m.x", "", name},
        {"{ann} @mx", "", domain},        {"{ann @mx", "", domain}};
    const QString bob = "{bob} @m.x";
    CMainWindowFixture w;
    w.dir.Write(kBlocked, "   bob@m.x\r\n");
    QWidget* page = w.Open(kBlockedPage);
    for (const auto& [typed, row, caption] : cases) {
        ClickRow(List(page), 0, {}, true);
        auto* editor = List(page)->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        CBoxRecorder boxes;
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        const QStringList after(*row ? row : bob);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return Rows(page) == after && boxes.seen.size() >= (*caption ? 1u : 0u); }, 5000))
            << typed;
        const SeenMessage refused{caption, "This is not a valid email", QMessageBox::Critical};
        EXPECT_EQ(boxes.seen, *caption ? std::vector{refused} : std::vector<SeenMessage>{})
            << typed;
        page->hide();
        EXPECT_EQ(Rows(page), QStringList(bob));
        page->show();
    }
    EXPECT_EQ(w.dir.Read(kBlocked), "   bob@m.x\r\n");
}

// Rows split at the last ">". Add reaches SpamWordList at once (OK waits
// for a word), Delete removes rows only, and Save List writes the degrees
// as numbers; the tables stay as built.
TEST(SpamWordsPage, AddDeleteAndSaveLeaveTheTablesAsBuilt) {
    CMainWindowFixture w("[SPAMWORD]\r\nWCount=5\r\nW1=a>b>7\r\nW2=offer>05\r\nW3=x>-3\r\n"
                         "W4=no mark\r\nW5=e>-05\r\n");
    QWidget* page = w.Open(kSpamWordsPage);
    EXPECT_EQ(Rows(page) + Rows(page, 1),
              QStringList({"a>b", "offer", "x", "e", "7", "05", "-3", "-05"}));
    const std::vector<std::string> built{"a>b", "offer", "x", "e"};
    EXPECT_EQ(w.app->SpamExpressionList, built);
    bool okWhileEmpty = true;
    WhenModal<CAddSpamWordDialog>([&](CAddSpamWordDialog* dialog) {
        okWhileEmpty = Enabled(dialog, 1);
        TypeInto(dialog, 1028, " cheap pills");
        Click(dialog, 1);
    });
    Click(page, kAdd);
    EXPECT_FALSE(okWhileEmpty);
    EXPECT_EQ(Rows(page, 1).last(), "0");
    EXPECT_EQ(w.app->SpamWordList.Get()->back(), " cheap pills>0");
    for (int row : {0, 2, 4})
        ClickRow(List(page), row, Qt::ControlModifier);
    Click(page, kDelete);
    EXPECT_EQ(Rows(page), QStringList({"offer", "e"}));
    EXPECT_EQ(w.app->SpamWordList.Get()->size(), 6u); // rows only
    Click(page, 1047);
    EXPECT_EQ(*w.app->SpamWordList.Get(), (std::vector<std::string>{"offer>5", "e>-5"}));
    EXPECT_EQ(w.app->SpamExpressionList, built);
}

} // namespace
