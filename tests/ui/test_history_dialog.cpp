// The history viewer on records around a chosen day and across a year end:
// the Before, Between and After rules with the pickers' fixed time of day,
// the status and reason columns, widths that only grow, bodies without tags,
// Clear History, and a history of 100,000 records through the model.
#include "ui/history_dialog.h"
#include "ui/history_model.h"
#include "ui/mail_body_dialog.h"
#include "ui_fixture.h"

#include <QAbstractItemModelTester>
#include <QDateEdit>
#include <QTableView>

namespace {
const QDate kDec9(2026, 12, 9), kDec10(2026, 12, 10), kDec11(2026, 12, 11), kJan1(2027, 1, 1);
constexpr int kBefore = 1056, kBetween = 1057, kAfter = 1058, kShow = 1054, kClear = 1052;

HistoryEntry Record(std::string date, std::string subject, std::string reason = "",
                    std::string body = "") {
    const unsigned char status = reason.empty();
    return {date, "ann@mail.example", subject, status, reason, body};
}

// Opened at 12:30 on 10 December 2026.
class HistoryDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui.app->Clock = [] { return LocalDateTime{2026, 12, 10, 12, 30, 0}; };
        for (HistoryEntry& entry : std::vector<HistoryEntry>{
                 Record("Wed, 09 Dec 2026", "nine", "",
                        "<p>Hello</p> a<b<c>d>e <<>> x > y < z\r\nbye"),
                 Record("Thu, 10 Dec 2026", "ten", "23003"), Record("Fri, 11 Dec 2026", "eleven"),
                 Record("Tue, 05 Jan 2027", "five " + std::string(60, 'W')),
                 Record("date unreadable", "lost")})
            ui.app->AppendHistoryEntry(std::move(entry));
        viewer = std::make_unique<CHistoryDialog>(*ui.app, nullptr);
        tester = std::make_unique<QAbstractItemModelTester>(
            viewer->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        viewer->Initialise();
        viewer->show();
        view = Control<QTableView>(viewer.get(), 1026);
    }
    void Choose(int mode, QDate first, QDate second = {}) {
        Click(viewer.get(), mode);
        Control<QDateEdit>(viewer.get(), 1050)->setDate(first);
        if (second.isValid())
            Control<QDateEdit>(viewer.get(), 1051)->setDate(second);
    }
    QStringList Subjects() const {
        QStringList subjects = Column(viewer->Model(), 2);
        for (QString& s : subjects)
            s = s.section(' ', 0, 0);
        return subjects;
    }

    CUiApp ui{"[SETTINGS]\r\n", "[Tarnwick]\r\n23003=Sender*is blocked\r\n"};
    std::unique_ptr<CHistoryDialog> viewer;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QTableView* view = nullptr;
};

struct DateCase {
    int Mode;
    QDate First, Second;
    QStringList Subjects;
};

// The pickers keep 12:30, the time of day of the opening; a record counts
// as 00:00 of its day. A record whose date cannot be read is always listed.
TEST_F(HistoryDialogTest, DateModesListTheRecordsAroundTheChosenDays) {
    const DateCase cases[] = {{kBefore, kDec10, {}, {"nine", "ten", "lost"}},
                              {kBefore, kDec9, {}, {"nine", "lost"}},
                              {kBetween, kDec10, kDec11, {"eleven", "lost"}},
                              {kBetween, kDec9, kDec10, {"ten", "lost"}},
                              {kAfter, kDec10, {}, {"ten", "eleven", "five", "lost"}},
                              {kAfter, kJan1, {}, {"five", "lost"}}};
    for (const DateCase& c : cases) {
        Choose(c.Mode, c.First, c.Second);
        EXPECT_EQ(Subjects(), c.Subjects) << c.Mode << " " << c.First.toString(Qt::ISODate);
    }
}

TEST_F(HistoryDialogTest, OpensOnBeforeTodayWithStatusReasonAndGrowingWidths) {
    EXPECT_EQ(viewer->Mode(), HistoryMode::Before);
    EXPECT_TRUE(Control<QAbstractButton>(viewer.get(), kBefore)->isChecked());
    EXPECT_FALSE(Enabled(viewer.get(), 1051));
    EXPECT_EQ(Control<QDateEdit>(viewer.get(), 1050)->date(), kDec10);
    EXPECT_TRUE(viewer->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(Column(viewer->Model(), 0),
              QStringList({"Wed, 09 Dec 2026", "Thu, 10 Dec 2026", "date unreadable"}));
    EXPECT_EQ(Column(viewer->Model(), 3),
              QStringList({"Exist at the server", "Deleted", "Exist at the server"}));
    EXPECT_EQ(Column(viewer->Model(), 4), QStringList({"", "Senderis blocked", ""}));
    EXPECT_TRUE(Enabled(viewer.get(), kClear));
    EXPECT_FALSE(Enabled(viewer.get(), kShow));
    Click(viewer.get(), kBetween);
    EXPECT_TRUE(Enabled(viewer.get(), 1051));

    // Column widths only grow within one opening.
    const int headerWidth = view->columnWidth(2);
    Choose(kAfter, kDec10);
    const int wide = view->columnWidth(2);
    const QString longSubject = viewer->Model()->index(2, 2).data().toString();
    EXPECT_GE(wide, 3 * view->fontMetrics().horizontalAdvance(longSubject) / 2);
    EXPECT_GT(wide, headerWidth);
    Choose(kBefore, kDec9);
    EXPECT_EQ(view->columnWidth(2), wide);
    viewer->Initialise();
    EXPECT_LT(view->columnWidth(2), wide);
}

// Each tag span runs from its first "<" to the next ">". By button and by
// double click; a refill forgets the row, so nothing past the new list can
// be shown.
TEST_F(HistoryDialogTest, ShowMessageAndClearHistory) {
    QStringList shown;
    auto readBody = [&shown](CMailBodyDialog* body) {
        shown << body->Text();
        Click(body, 1);
    };
    ClickRow(view, 0);
    ASSERT_TRUE(Enabled(viewer.get(), kShow));
    WhenModal<CMailBodyDialog>(readBody);
    Click(viewer.get(), kShow);
    WhenModal<CMailBodyDialog>(readBody);
    ClickRow(view, 0, {}, true);
    EXPECT_EQ(shown, QStringList(2, "Hello ad>e > x > y < z\nbye"));
    Choose(kAfter, kJan1);
    EXPECT_FALSE(Enabled(viewer.get(), kShow));

    // Clear History leaves no file and an empty list, also at the next
    // opening; Escape leaves the viewer open, Return closes it.
    ui.app->WriteHistoryFile(HistoryWriteMode::Normal);
    ASSERT_TRUE(ui.dir.Exists("history.zrk"));
    ClickRow(view, 0);
    Click(viewer.get(), kClear);
    EXPECT_EQ(viewer->Model()->rowCount(), 0);
    EXPECT_FALSE(Enabled(viewer.get(), kClear));
    EXPECT_FALSE(Enabled(viewer.get(), kShow));
    EXPECT_FALSE(ui.dir.Exists("history.zrk"));
    EXPECT_EQ(ui.app->GetHistorySize(), 0u);

    viewer->hide();
    bool openAfterEscape = false;
    WhenModal<CHistoryDialog>([&openAfterEscape](CHistoryDialog* dialog) {
        QTest::keyClick(dialog, Qt::Key_Escape);
        openAfterEscape = dialog->isVisible();
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(viewer->Run(), 1);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_EQ(viewer->Model()->rowCount(), 0);
    EXPECT_FALSE(Enabled(viewer.get(), kClear));
}

TEST_F(HistoryDialogTest, ListsAHundredThousandRecords) {
    for (int i = 0; i < 100000; ++i)
        ui.app->AppendHistoryEntry(
            Record("Mon, 07 Dec 2026", "subject " + std::to_string(i), i % 3 ? "" : "23003"));
    viewer->Initialise();
    Choose(kAfter, kDec10);
    EXPECT_EQ(viewer->Model()->rowCount(), 4);
    Choose(kBefore, kDec10);
    ASSERT_EQ(viewer->Model()->rowCount(), 100003);
    EXPECT_EQ(viewer->Model()->index(100002, 2).data().toString(), "subject 99999");
    EXPECT_EQ(viewer->Model()->index(100001, 4).data().toString(), "");
    EXPECT_EQ(viewer->Model()->index(100002, 4).data().toString(), "Senderis blocked");
}

} // namespace
