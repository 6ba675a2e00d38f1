// The friends, blocked and spam-word list pages in the main window.
#include "core/filter_fixture.h"
#include "ui/add_sender_dialog.h"
#include "ui/add_spam_word_dialog.h"
#include "ui_fixture.h"

namespace {
const std::string kBlocked = "Blocked List.zrk", kFriends = "Friend List.zrk";
constexpr int kDelete = 1017, kAdd = 1023, kDomain = 1029;
constexpr int kSpamWordsPage = 5, kFriendsPage = 6, kBlockedPage = 7;

QTableWidget* List(QWidget* page) {
    return page->findChild<QTableWidget*>();
}
QStringList Rows(QWidget* page, int column = 0) {
    return Column(List(page)->model(), column);
}

// The blocked page (the friends page is it on another file), in a single-byte language. An edit in
// place changes only the row (marks added at positions in the text as typed) until the next show.
TEST(SenderPages, EditDeleteAndAdd) {
    const std::string bytes = "Gr\xFC\xDF";
    const QString name = "Invalid name", word = QString::fromLatin1(bytes);
    const std::tuple<const char*, const char*, QString> cases[] = {
        // typed, the row then ("": unchanged), the message's caption ("": none)
        {"{ann} @m.x", "{ann} @m.x", ""}, {"ann @m.x", "{an}n @m.x", ""}, {"@m.x", "}{@m.x", ""},
        {"ann}.", "{ann}@.", ""},         {"ann m.x", "", name},          {"{ann} @mx", "", word},
    };
    CMainWindowFixture w("[SETTINGS]\r\n",
                         "[Tarnwick]\r\n2000=" + bytes + "\r\n17018=" + bytes + "\r\n");
    w.dir.Write(kBlocked, "   bob@m.x\r\n|*|z@x.example\r\n   *@y.example\r\n   c@x.example\r\n");
    QWidget* page = w.Open(kBlockedPage);
    const QStringList rows = Rows(page);
    for (const auto& [typed, row, caption] : cases) {
        ClickRow(List(page), 0, {}, true);
        auto* editor = List(page)->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        CBoxRecorder boxes;
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        const QString after = *row ? row : rows[0];
        const size_t due = caption.isEmpty() ? 0 : 1;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return Rows(page)[0] == after && boxes.seen.size() >= due;
        })) << typed;
        const SeenMessage refused{caption, "This is not a valid email", QMessageBox::Critical};
        EXPECT_EQ(boxes.seen, caption.isEmpty() ? std::vector<SeenMessage>{} : std::vector{refused})
            << typed;
        page->hide();
        EXPECT_EQ(Rows(page), rows);
        page->show();
    }
    EXPECT_EQ(DeleteRows(page, List(page), {1, 2}), QStringList(rows[0])); // dead lines counted

    // A bad domain keeps the dialog open; a "*" name makes a domain entry, in use at once.
    CBoxRecorder boxes;
    WhenModal<CAddSenderDialog>([&word](CAddSenderDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), word);
        TypeInto(dialog, kDomain, "offers.");
        Click(dialog, 1);
        EXPECT_TRUE(dialog->isVisible());
        TypeInto(dialog, kDomain, "offers.example");
        Click(dialog, 1);
    });
    Click(page, kAdd);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].Caption, word);
    w.app->MailLifeTime = 1000000; // judged by the lists only, not by its age
    EXPECT_EQ(w.app->JudgeBatch({filter_test::MessageText({.From = "deals@offers.example"})}),
              std::vector<unsigned char>{0});

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
              "   ann@mail.example\r\n   bob@m.x\r\n|*|z@x.example\r\n|*|*@y.example\r\n"
              "|*|c@x.example\r\n   *@offers.example\r\n");
}

// Add reaches the list at once, Delete the rows only, Save the list; the tables stay as built.
TEST(SpamWordsPage, AddDeleteAndSaveLeaveTheTablesAsBuilt) {
    CMainWindowFixture w("[SPAMWORD]\r\nWCount=3\r\nW1=a>b>7\r\nW2=offer>05\r\nW3=no mark\r\n");
    QWidget* page = w.Open(kSpamWordsPage);
    EXPECT_EQ(Rows(page) + Rows(page, 1), QStringList({"a>b", "offer", "7", "05"}));
    const std::vector<std::string> built{"a>b", "offer"};
    EXPECT_EQ(w.app->SpamExpressionList, built);
    WhenModal<CAddSpamWordDialog>([](CAddSpamWordDialog* dialog) {
        EXPECT_FALSE(Enabled(dialog, 1));
        TypeInto(dialog, 1028, " cheap pills");
        Click(dialog, 1);
    });
    Click(page, kAdd);
    EXPECT_EQ(Rows(page, 1).last(), "0");
    EXPECT_EQ(w.app->SpamWordList.Get()->back(), " cheap pills>0");
    for (int row : {0, 2})
        ClickRow(List(page), row, Qt::ControlModifier);
    Click(page, kDelete);
    EXPECT_EQ(Rows(page), QStringList({"offer"}));
    EXPECT_EQ(w.app->SpamWordList.Get()->size(), 4u); // rows only
    Click(page, 1047);
    EXPECT_EQ(*w.app->SpamWordList.Get(), std::vector<std::string>{"offer>5"});
    EXPECT_EQ(w.app->SpamExpressionList, built);
}

} // namespace
