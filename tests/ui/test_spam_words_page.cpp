// The spam words page: rows split at the last ">", the one table build at
// start-up, Add into SpamWordList at once, Delete of rows only, and
// "Save List" with the degrees written as numbers.
#include "ui/add_spam_word_dialog.h"
#include "ui/spam_words_page.h"
#include "window_support.h"

#include <QTableWidget>
#include <QTest>

namespace {
using Words = std::vector<std::string>;

class SpamWordsPageTest : public ::testing::Test {
  protected:
    void Open(const Words& words) {
        ASSERT_TRUE(fx.Start());
        fx.app->SpamWordList.Set(words);
        host.resize(800, 500);
        host.show();
        page = new CSpamWordsPage(*fx.app, nullptr, &host);
        page->show();
        list = Control<QTableWidget>(page, 1026);
    }
    std::vector<std::pair<QString, QString>> Rows() const {
        std::vector<std::pair<QString, QString>> rows;
        for (int r = 0; r < list->rowCount(); ++r)
            rows.emplace_back(list->item(r, 0)->text(), list->item(r, 1)->text());
        return rows;
    }
    void SelectRows(std::initializer_list<int> rows) {
        for (int row : rows)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              list->visualItemRect(list->item(row, 0)).center());
    }

    CAppFixture fx;
    QWidget host;
    CSpamWordsPage* page = nullptr;
    QTableWidget* list = nullptr;
};

TEST_F(SpamWordsPageTest, RowsSplitAtLastMarkAndTablesBuiltOnce) {
    Open({"a>b>7", "offer>05", "x>-3", "no mark"});
    using Row = std::pair<QString, QString>;
    EXPECT_EQ(Rows(), (std::vector<Row>{{"a>b", "7"}, {"offer", "05"}, {"x", "-3"}}));
    EXPECT_EQ(list->horizontalHeaderItem(0)->text(), "Spoam Word");
    EXPECT_EQ(fx.app->SpamExpressionList, (Words{"a>b", "offer", "x"}));
    EXPECT_EQ(fx.app->SpamDegreeTotal, 9);
}

TEST_F(SpamWordsPageTest, AddNeedsAWordAndReachesTheListAtOnce) {
    Open({"offer>05"});
    bool okWhileEmpty = true;
    WhenModal<CAddSpamWordDialog>([&](CAddSpamWordDialog* dialog) {
        okWhileEmpty = Control<QPushButton>(dialog, 1)->isEnabled();
        TypeInto(dialog, 1028, " cheap pills");
        Click(dialog, 1);
    });
    Click(page, 1023);
    EXPECT_FALSE(okWhileEmpty);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->item(1, 0)->text(), " cheap pills");
    EXPECT_EQ(list->item(1, 1)->text(), "0");
    EXPECT_EQ(*fx.app->SpamWordList.Get(), (Words{"offer>05", " cheap pills>0"}));
    // The tables stay as built at start-up.
    EXPECT_EQ(fx.app->SpamExpressionList, (Words{"offer"}));

    WhenModal<CAddSpamWordDialog>([](CAddSpamWordDialog* dialog) {
        TypeInto(dialog, 1028, "win");
        TypeInto(dialog, 1029, "12");
        Click(dialog, 2);
    });
    Click(page, 1023);
    EXPECT_EQ(list->rowCount(), 2);
    EXPECT_EQ(fx.app->SpamWordList.Get()->size(), 2u);
}

TEST_F(SpamWordsPageTest, DeleteTakesRowsOnlyAndSaveNormalisesDegrees) {
    Open({"a>1", "b>002", "c>3", "d>4", "e>-05"});
    auto* deleteButton = Control<QPushButton>(page, 1017);
    SelectRows({0, 2, 3});
    EXPECT_TRUE(deleteButton->isEnabled());
    Click(page, 1017);
    EXPECT_FALSE(deleteButton->isEnabled());
    using Row = std::pair<QString, QString>;
    EXPECT_EQ(Rows(), (std::vector<Row>{{"b", "002"}, {"e", "-05"}}));
    EXPECT_EQ(fx.app->SpamWordList.Get()->size(), 5u);

    Click(page, 1047);
    EXPECT_EQ(*fx.app->SpamWordList.Get(), (Words{"b>2", "e>-5"}));
}

TEST_F(SpamWordsPageTest, ClickOnEmptySpaceDisablesDelete) {
    Open({"a>1"});
    auto* deleteButton = Control<QPushButton>(page, 1017);
    SelectRows({0});
    ASSERT_TRUE(deleteButton->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 5));
    EXPECT_FALSE(deleteButton->isEnabled());
}

TEST_F(SpamWordsPageTest, EmptyListGivesEmptyPageAndEmptyTables) {
    Open({});
    EXPECT_EQ(list->rowCount(), 0);
    Click(page, 1047);
    EXPECT_TRUE(fx.app->SpamWordList.Get()->empty());
    EXPECT_TRUE(fx.app->SpamDegreeList.empty());
    EXPECT_EQ(fx.app->SpamDegreeTotal, 0);
}
} // namespace
