// The history viewer on records around a chosen day and across a year end:
// the Before, Between and After rules with the pickers' fixed time of day,
// the status and reason columns, widths that only grow, bodies without
// tags, and Clear History.
#include "ui/history_dialog.h"
#include "ui/history_model.h"
#include "ui/history_rules.h"
#include "ui/mail_body_dialog.h"
#include "window_support.h"

#include <QAbstractItemModelTester>
#include <QDateEdit>
#include <QTableView>
#include <QTest>

namespace {
const LocalDateTime kNow{2026, 12, 10, 12, 30, 0};

HistoryEntry Record(const std::string& date, const std::string& subject,
                    const std::string& reason = "", const std::string& body = "") {
    HistoryEntry entry;
    entry.Date = date;
    entry.From = "ann@mail.example";
    entry.Subject = subject;
    entry.Status = reason.empty() ? 1 : 0;
    entry.Reason = reason;
    entry.Body = body;
    return entry;
}

class HistoryDialogTest : public ::testing::Test {
  protected:
    HistoryDialogTest() : fx("[SETTINGS]\r\n", "test") {}
    void SetUp() override {
        fx.dir.Write("Language/test.ini", "[Tarnwick]\r\n23003=Sender*is blocked\r\n");
        ASSERT_TRUE(fx.Start());
        fx.app->Clock = [] { return kNow; };
        for (HistoryEntry& entry : std::vector<HistoryEntry>{
                 Record("Wed, 09 Dec 2026", "nine", "", "<p>Hello</p> <b>world</b>\r\nbye"),
                 Record("Thu, 10 Dec 2026", "ten", "23003"), Record("Fri, 11 Dec 2026", "eleven"),
                 Record("Tue, 05 Jan 2027", "five " + std::string(60, 'W')),
                 Record("date unreadable", "lost")})
            fx.app->AppendHistoryEntry(std::move(entry));
        viewer = std::make_unique<CHistoryDialog>(*fx.app, nullptr);
        tester = std::make_unique<QAbstractItemModelTester>(
            viewer->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        viewer->Initialise();
        viewer->show();
        view = Control<QTableView>(viewer.get(), 1026);
    }
    void Choose(int radioId, QDate first, QDate second = {}) {
        Click(viewer.get(), radioId);
        Control<QDateEdit>(viewer.get(), 1050)->setDate(first);
        if (second.isValid())
            Control<QDateEdit>(viewer.get(), 1051)->setDate(second);
    }
    QStringList Column(int column) const {
        QStringList cells;
        for (int r = 0; r < viewer->Model()->rowCount(); ++r)
            cells << viewer->Model()->index(r, column).data().toString();
        return cells;
    }
    QPoint RowCentre(int row) const {
        return view->visualRect(viewer->Model()->index(row, 0)).center();
    }

    CAppFixture fx;
    std::unique_ptr<CHistoryDialog> viewer;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QTableView* view = nullptr;
};

struct DateCase {
    int RadioId;
    QDate First, Second;
    QStringList Subjects;
};

void PrintTo(const DateCase& c, std::ostream* out) {
    *out << c.RadioId << " " << c.First.toString(Qt::ISODate).toStdString();
}

class HistoryDateRules : public HistoryDialogTest,
                         public ::testing::WithParamInterface<DateCase> {};

// The pickers keep 12:30, the time of day of the opening; a record counts
// as 00:00 of its day. A record whose date cannot be read is always listed.
TEST_P(HistoryDateRules, ListRecordsAroundTheChosenDays) {
    const DateCase& c = GetParam();
    Choose(c.RadioId, c.First, c.Second);
    QStringList subjects = Column(2);
    for (QString& s : subjects)
        s = s.section(' ', 0, 0);
    EXPECT_EQ(subjects, c.Subjects);
}

const QDate kDec9(2026, 12, 9), kDec10(2026, 12, 10), kDec11(2026, 12, 11), kJan1(2027, 1, 1);

INSTANTIATE_TEST_SUITE_P(Modes, HistoryDateRules,
                         ::testing::Values(DateCase{1056, kDec10, {}, {"nine", "ten", "lost"}},
                                           DateCase{1056, kDec9, {}, {"nine", "lost"}},
                                           DateCase{1057, kDec10, kDec11, {"eleven", "lost"}},
                                           DateCase{1057, kDec9, kDec10, {"ten", "lost"}},
                                           DateCase{
                                               1058, kDec10, {}, {"ten", "eleven", "five", "lost"}},
                                           DateCase{1058, kJan1, {}, {"five", "lost"}}));

TEST_F(HistoryDialogTest, OpensOnBeforeTodayWithStatusAndReason) {
    EXPECT_EQ(viewer->Mode(), HistoryMode::Before);
    EXPECT_TRUE(Control<QAbstractButton>(viewer.get(), 1056)->isChecked());
    EXPECT_FALSE(Control<QDateEdit>(viewer.get(), 1051)->isEnabled());
    EXPECT_EQ(Control<QDateEdit>(viewer.get(), 1050)->date(), kDec10);
    EXPECT_TRUE(viewer->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(Column(0), QStringList({"Wed, 09 Dec 2026", "Thu, 10 Dec 2026", "date unreadable"}));
    EXPECT_EQ(Column(3), QStringList({"Exist at the server", "Deleted", "Exist at the server"}));
    EXPECT_EQ(Column(4), QStringList({"", "Senderis blocked", ""}));
    EXPECT_TRUE(Control<QPushButton>(viewer.get(), 1052)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(viewer.get(), 1054)->isEnabled());
    Click(viewer.get(), 1057);
    EXPECT_TRUE(Control<QDateEdit>(viewer.get(), 1051)->isEnabled());
}

TEST_F(HistoryDialogTest, ColumnWidthsOnlyGrowWithinOneOpening) {
    const int headerWidth = view->columnWidth(2);
    Choose(1058, kDec10);
    const int wide = view->columnWidth(2);
    const QString longSubject = viewer->Model()->index(2, 2).data().toString();
    EXPECT_GE(wide, 3 * view->fontMetrics().horizontalAdvance(longSubject) / 2);
    EXPECT_GT(wide, headerWidth);
    Choose(1056, kDec9);
    EXPECT_EQ(view->columnWidth(2), wide);
    viewer->Initialise();
    EXPECT_LT(view->columnWidth(2), wide);
}

TEST_F(HistoryDialogTest, ShowMessageShowsTheBodyWithoutTags) {
    QString shown;
    auto readBody = [&shown](CMailBodyDialog* body) {
        shown = body->Text();
        Click(body, 1);
    };
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(0));
    ASSERT_TRUE(Control<QPushButton>(viewer.get(), 1054)->isEnabled());
    WhenModal<CMailBodyDialog>(readBody);
    Click(viewer.get(), 1054);
    EXPECT_EQ(shown, "Hello world\nbye");

    shown.clear();
    WhenModal<CMailBodyDialog>(readBody);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, RowCentre(0));
    EXPECT_EQ(shown, "Hello world\nbye");

    // A refill forgets the row, so nothing past the new list can be shown.
    Choose(1058, kJan1);
    EXPECT_FALSE(Control<QPushButton>(viewer.get(), 1054)->isEnabled());
}

TEST_F(HistoryDialogTest, ClearHistoryLeavesNothingBehind) {
    fx.app->WriteHistoryFile(HistoryWriteMode::Normal);
    ASSERT_TRUE(fx.dir.Exists("history.zrk"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCentre(0));
    Click(viewer.get(), 1052);
    EXPECT_EQ(viewer->Model()->rowCount(), 0);
    EXPECT_FALSE(Control<QPushButton>(viewer.get(), 1052)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(viewer.get(), 1054)->isEnabled());
    EXPECT_FALSE(fx.dir.Exists("history.zrk"));
    EXPECT_EQ(fx.app->GetHistorySize(), 0u);
    viewer->Initialise();
    EXPECT_EQ(viewer->Model()->rowCount(), 0);
    EXPECT_FALSE(Control<QPushButton>(viewer.get(), 1052)->isEnabled());
}

TEST_F(HistoryDialogTest, EscapeKeepsItOpenAndReturnCloses) {
    viewer->hide();
    bool openAfterEscape = false;
    WhenModal<CHistoryDialog>([&openAfterEscape](CHistoryDialog* dialog) {
        QTest::keyClick(dialog, Qt::Key_Escape);
        openAfterEscape = dialog->isVisible();
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(viewer->Run(), 1);
    EXPECT_TRUE(openAfterEscape);
}

TEST_F(HistoryDialogTest, ListsAHundredThousandRecords) {
    for (int i = 0; i < 100000; ++i)
        fx.app->AppendHistoryEntry(
            Record("Mon, 07 Dec 2026", "subject " + std::to_string(i), i % 3 ? "" : "23003"));
    viewer->Initialise();
    Choose(1058, kDec10);
    EXPECT_EQ(viewer->Model()->rowCount(), 4);
    Choose(1056, kDec10);
    ASSERT_EQ(viewer->Model()->rowCount(), 100003);
    EXPECT_EQ(viewer->Model()->index(100002, 2).data().toString(), "subject 99999");
    EXPECT_EQ(viewer->Model()->index(100001, 4).data().toString(), "");
    EXPECT_EQ(viewer->Model()->index(100002, 4).data().toString(), "Senderis blocked");
}

TEST(HistoryRules, StripTagsRemovesEachSpanFromTheFirstMark) {
    EXPECT_EQ(StripTags("a<b<c>d>e"), "ad>e");
    EXPECT_EQ(StripTags("<p>x</p>"), "x");
    EXPECT_EQ(StripTags("x > y < z"), "x > y < z");
    EXPECT_EQ(StripTags("<<>>"), ">");
    EXPECT_EQ(StripTags(""), "");
}
} // namespace
