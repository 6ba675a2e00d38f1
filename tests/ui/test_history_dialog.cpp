// The history viewer: the date rules, bodies without tags, Clear History.
#include "app/core/restore.h"
#include "ui/history_dialog.h"
#include "ui/history_model.h"
#include "ui/mail_body_dialog.h"
#include "ui/text_conv.h"
#include "ui_fixture.h"

#include <QAbstractItemModelTester>
#include <QDateEdit>
#include <QTableView>

namespace {
const QDate kDec9(2026, 12, 9), kDec10(2026, 12, 10), kDec11(2026, 12, 11), kJan1(2027, 1, 1);
constexpr int kBefore = 1056, kBetween = 1057, kAfter = 1058, kShow = 1054, kClear = 1052,
              kRestore = 1060, kSaveAs = 1061;

// Opened at 12:30 (the pickers' time) on "before today"; a record is at 00:00 of its day, one with
// an unreadable date always listed. A body loses each span from "<" to the next ">".
TEST(HistoryDialog, DateModesBodiesAndClearHistory) {
    CUiApp ui;
    ui.app->Clock = [] { return LocalDateTime{2026, 12, 10, 12, 30, 0}; };
    const char* body = "<p>Hello</p> a<b<c>d>e <<>> x > y < z\r\nbye";
    for (auto [date, subject, kept] : {std::tuple("Wed, 09 Dec 2026", "nine", true),
                                       {"Thu, 10 Dec 2026", "ten", false},
                                       {"Fri, 11 Dec 2026", "eleven", true},
                                       {"Tue, 05 Jan 2027", "five", true},
                                       {"date unreadable", "lost", true}})
        ui.app->AppendHistoryEntry({date, "ann@mail.example", subject, kept, kept ? "" : "23003",
                                    *subject == 'n' ? body : ""});
    CHistoryDialog viewer(*ui.app, nullptr);
    QAbstractItemModelTester tester(viewer.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    viewer.Initialise();
    viewer.show();
    const std::tuple<int, QDate, QDate, QStringList> cases[] = {
        {0, {}, {}, {"nine", "ten", "lost"}},
        {kBefore, kDec9, {}, {"nine", "lost"}},
        {kBetween, kDec10, kDec11, {"eleven", "lost"}},
        {kAfter, kDec10, {}, {"ten", "eleven", "five", "lost"}},
        {kAfter, kJan1, {}, {"five", "lost"}}};
    for (const auto& [mode, first, second, subjects] : cases) {
        if (mode) { // an invalid date leaves its picker as it was
            Click(&viewer, mode);
            Control<QDateEdit>(&viewer, 1050)->setDate(first);
            Control<QDateEdit>(&viewer, 1051)->setDate(second);
        }
        EXPECT_EQ(Column(viewer.Model(), 2), subjects) << mode << first.toString(Qt::ISODate);
        EXPECT_FALSE(Enabled(&viewer, kShow));
        if (mode)
            continue;
        ClickRow(Control<QTableView>(&viewer, 1026), 0); // "nine", with a body
        WhenModal<CMailBodyDialog>([](CMailBodyDialog* body) {
            EXPECT_EQ(body->Text(), "Hello ad>e > x > y < z\nbye");
            EXPECT_EQ(Control<QLabel>(body, 1029)->text(), "Learned spam score: 50%");
            Click(body, 1);
        });
        Click(&viewer, kShow);
        // The row's mail corrects the learned score.
        Click(&viewer, 1062);
        Click(&viewer, 1063);
        EXPECT_EQ(ui.app->LearnedScore.Classifier().HamMails(), 1u);
        EXPECT_EQ(ui.app->LearnedScore.Classifier().SpamMails(), 0u);
    }
    ui.app->WriteHistoryFile(HistoryWriteMode::Normal);
    ASSERT_TRUE(ui.dir.Exists("history.zrk"));
    Click(&viewer, kClear);
    EXPECT_EQ(viewer.Model()->rowCount(), 0);
    EXPECT_FALSE(Enabled(&viewer, kClear));
    EXPECT_FALSE(ui.dir.Exists("history.zrk"));
    EXPECT_EQ(ui.app->GetHistorySize(), 0u);
}

// Restore and Save as... only for a deleted record whose copy is in the bin; Restore of a POP3
// copy saves it instead, as the server could not take it back.
TEST(HistoryDialog, CopyButtonsOnlyForDeletedRecordsInTheBinAndPop3RestoreSaves) {
    CUiApp ui;
    ui.app->Clock = [] { return LocalDateTime{2026, 12, 10, 12, 30, 0}; };
    for (auto [subject, reason] : {std::pair("binned", "23003"), {"gone", "23003"}, {"kept", ""}})
        ui.app->AppendHistoryEntry(
            {"Wed, 09 Dec 2026", "ann@mail.example", subject, *reason == 0, reason, ""});
    BinnedMessage copy;
    copy.Date = "Wed, 09 Dec 2026";
    copy.From = "ann@mail.example";
    copy.Subject = "binned";
    copy.Reason = "23003";
    copy.Text = "Subject: binned\r\n";
    std::string error;
    ASSERT_TRUE(WriteBinnedMessage(RecycleBinDir(*ui.app), copy, error)) << error;
    CHistoryDialog viewer(*ui.app, nullptr);
    QStringList asked;
    viewer.SavePathProvider = [&](const QString& suggested) {
        asked << suggested;
        return ToQString(ui.dir.File("out.eml"));
    };
    viewer.Initialise();
    viewer.show();
    for (int row : {0, 1, 2, 0}) {
        ClickRow(Control<QTableView>(&viewer, 1026), row);
        EXPECT_EQ(Enabled(&viewer, kRestore), row == 0) << row;
        EXPECT_EQ(Enabled(&viewer, kSaveAs), row == 0) << row;
    }
    Click(&viewer, kRestore);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].endsWith("binned.eml")) << asked[0];
    EXPECT_EQ(ui.dir.Read("out.eml"), copy.Text);
}

} // namespace
