// The spam words page: rows split at the last ">", the one table build when
// the page is created, Add into SpamWordList at once, Delete of rows only,
// and "Save List" with the degrees written as numbers; the tables stay.
#include "ui/add_spam_word_dialog.h"
#include "ui/spam_words_page.h"
#include "ui_fixture.h"

namespace {
using Words = std::vector<std::string>;

QStringList Rows(QTableWidget* list) {
    QStringList rows;
    for (int r = 0; r < list->rowCount(); ++r)
        rows << list->item(r, 0)->text() + "|" + list->item(r, 1)->text();
    return rows;
}

TEST(SpamWordsPage, AddDeleteAndSaveLeaveTheTablesAsBuilt) {
    CUiApp ui;
    ui.app->SpamWordList.Set({"a>b>7", "offer>05", "x>-3", "no mark", "e>-05"});
    QWidget host;
    auto* page = OpenPage<CSpamWordsPage>(*ui.app, host);
    auto* list = Control<QTableWidget>(page, 1026);
    EXPECT_EQ(Rows(list), QStringList({"a>b|7", "offer|05", "x|-3", "e|-05"}));
    const Words built{"a>b", "offer", "x", "e"};
    EXPECT_EQ(ui.app->SpamExpressionList, built);
    EXPECT_EQ(ui.app->SpamDegreeTotal, 4);

    // OK waits for a word; Cancel adds nothing.
    bool okWhileEmpty = true;
    WhenModal<CAddSpamWordDialog>([&](CAddSpamWordDialog* dialog) {
        okWhileEmpty = Enabled(dialog, 1);
        TypeInto(dialog, 1028, " cheap pills");
        Click(dialog, 1);
    });
    Click(page, 1023);
    EXPECT_FALSE(okWhileEmpty);
    WhenModal<CAddSpamWordDialog>([](CAddSpamWordDialog* dialog) {
        TypeInto(dialog, 1028, "win");
        TypeInto(dialog, 1029, "12");
        Click(dialog, 2);
    });
    Click(page, 1023);
    EXPECT_EQ(Rows(list).last(), " cheap pills|0");
    EXPECT_EQ(list->rowCount(), 5);
    EXPECT_EQ(ui.app->SpamWordList.Get()->back(), " cheap pills>0");
    EXPECT_EQ(ui.app->SpamWordList.Get()->size(), 6u);

    for (int row : {0, 2, 4})
        ClickRow(list, row, Qt::ControlModifier);
    EXPECT_TRUE(Enabled(page, 1017));
    Click(page, 1017);
    EXPECT_FALSE(Enabled(page, 1017));
    EXPECT_EQ(Rows(list), QStringList({"offer|05", "e|-05"}));
    EXPECT_EQ(ui.app->SpamWordList.Get()->size(), 6u); // rows only
    ClickRow(list, 0);
    ASSERT_TRUE(Enabled(page, 1017));
    ClickRow(list, -1); // empty space
    EXPECT_FALSE(Enabled(page, 1017));

    Click(page, 1047);
    EXPECT_EQ(*ui.app->SpamWordList.Get(), (Words{"offer>5", "e>-5"}));
    EXPECT_EQ(ui.app->SpamExpressionList, built);
}
} // namespace
