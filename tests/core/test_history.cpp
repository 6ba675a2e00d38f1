// history.zrk: byte format, round trip, torn records, append versus rewrite.
#include "app_fixture.h"
#include "filter/history_format.h"

#include <gtest/gtest.h>

namespace {
HistoryEntry Entry(std::string date, std::string from, std::string subject, std::string reason,
                   std::string body) {
    return HistoryEntry{
        std::move(date),
        std::move(from),
        std::move(subject),
        reason.empty() ? static_cast<unsigned char>(1) : static_cast<unsigned char>(0),
        std::move(reason),
        std::move(body)};
}

TEST(HistoryFormat, RecordIsByteExact) {
    std::string out;
    AppendHistoryRecord(out, Entry("Thu, 18 Sep 2003", "ann@mail.example", "Hello", "", "Hi"));
    EXPECT_EQ(out, "Thu, 18 Sep 2003|ann@mail.example|Hello||||-*-*-||Hi >>==<ZRKENDMSG>==<<\r\n");
}

TEST(HistoryFormat, BarInSubjectShiftsFieldsAndTornTailIsIgnored) {
    std::string text;
    AppendHistoryRecord(text, Entry("d", "f", "a|b", "", "body"));
    AppendHistoryRecord(text, Entry("d2", "f2", "s2", "23003", "x\r\ny"));
    size_t complete = 0;
    std::string torn = text + "d3|f3|s3||||-*-*-||partial >>==<ZRKEND";
    auto entries = ParseHistoryText(torn, complete);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(complete, text.size());
    EXPECT_EQ(entries[0].Subject, "a");
    EXPECT_EQ(entries[0].Reason, "b");
    EXPECT_EQ(entries[0].Body, "body");
    EXPECT_EQ(entries[1].Reason, "23003");
    EXPECT_EQ(entries[1].Body, "x\r\ny");
}

class HistoryFile : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(f.Start()); }
    void Judge(const HistoryEntry& e) {
        f.app->AppendHistoryEntry(e);
        f.app->WriteHistoryFile(HistoryWriteMode::Normal);
    }
    std::string Expected() {
        std::string all;
        for (const auto& e : f.app->GetHistorySnapshot())
            AppendHistoryRecord(all, *e);
        return all;
    }
    CAppFixture f;
};

TEST_F(HistoryFile, FileEqualsListAfterAppendsReplacementsAndReload) {
    Judge(Entry("Thu, 18 Sep 2003", "a@x", "one", "", "line1\r\nline2\r\n"));
    Judge(Entry("Fri, 19 Sep 2003", "b@x", "two", "23006", "b"));
    EXPECT_EQ(f.dir.Read("history.zrk"), Expected());
    // A repeated mail changes an entry already in the file: the file is rewritten.
    f.app->ReplaceHistoryEntry(
        0, Entry("Thu, 18 Sep 2003", "a@x", "one", "23009", "line1\r\nline2\r\n"));
    Judge(Entry("Sat, 20 Sep 2003", "c@x", "three", "", "c"));
    EXPECT_EQ(f.dir.Read("history.zrk"), Expected());

    CFilterApp reloaded;
    ASSERT_TRUE(reloaded.InitInstance());
    auto loaded = reloaded.GetHistorySnapshot();
    auto original = f.app->GetHistorySnapshot();
    ASSERT_EQ(loaded.size(), original.size());
    for (size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_EQ(loaded[i]->Date, original[i]->Date);
        EXPECT_EQ(loaded[i]->From, original[i]->From);
        EXPECT_EQ(loaded[i]->Subject, original[i]->Subject);
        EXPECT_EQ(loaded[i]->Reason, original[i]->Reason);
        EXPECT_EQ(loaded[i]->Body, original[i]->Body);
    }
}

TEST_F(HistoryFile, AppendAfterTornRecordRewritesWithoutTheTornPiece) {
    std::string good;
    AppendHistoryRecord(good, Entry("d1", "a", "s", "", "b"));
    f.dir.Write("history.zrk", good + "d2|torn");
    CFilterApp app;
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(app.GetHistorySize(), 1u);
    app.AppendHistoryEntry(Entry("d3", "c", "s3", "", "b3"));
    app.WriteHistoryFile(HistoryWriteMode::Normal);
    std::string expected = good;
    AppendHistoryRecord(expected, Entry("d3", "c", "s3", "", "b3"));
    EXPECT_EQ(f.dir.Read("history.zrk"), expected);
}

// The file is read in 1 MB pieces on a thread of its own: a record larger
// than a piece, an end marker across a boundary and a torn tail must load as
// the whole text parses, and the history calls made at once must wait for it.
TEST_F(HistoryFile, LargeFileLoadsInPiecesBehindStartUp) {
    const size_t piece = 1 << 20;
    std::string text;
    for (int i = 0; i < 200; ++i)
        AppendHistoryRecord(text, Entry("d" + std::to_string(i), "a", "s", "", "body"));
    AppendHistoryRecord(text, Entry("huge", "c", "s", "23004",
                                    std::string(piece * 5 / 2, 'y') + "\r\n>>==<ZRKENDMSG>==<< z"));
    for (int i = 0; i < 100; ++i)
        AppendHistoryRecord(text, Entry("e" + std::to_string(i), "a", "s", "", "body"));
    // The last whole record's end marker starts 7 bytes before a boundary.
    std::string empty;
    AppendHistoryRecord(empty, Entry("big", "b", "s", "", ""));
    const size_t before = text.size(), marker = kHistoryEndMarker.size();
    const size_t bodySize = 4 * piece - 7 - before - (empty.size() - marker - 2);
    AppendHistoryRecord(text, Entry("big", "b", "s", "", std::string(bodySize, 'x')));
    ASSERT_EQ(text.find(kHistoryEndMarker, before), 4 * piece - 7);
    f.dir.Write("history.zrk", text + "torn|record");
    size_t complete = 0;
    const std::vector<HistoryEntry> expected = ParseHistoryText(text, complete);

    CFilterApp app;
    ASSERT_TRUE(app.InitInstance());
    app.AppendHistoryEntry(Entry("new", "n", "s", "", "b"));
    app.WriteHistoryFile(HistoryWriteMode::Normal);
    auto loaded = app.GetHistorySnapshot();
    ASSERT_EQ(loaded.size(), expected.size() + 1);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_TRUE(loaded[i]->Date == expected[i].Date && loaded[i]->Body == expected[i].Body)
            << i;
    EXPECT_EQ(loaded.back()->Date, "new");
    AppendHistoryRecord(text, Entry("new", "n", "s", "", "b"));
    EXPECT_EQ(f.dir.Read("history.zrk"), text);
}

TEST_F(HistoryFile, ChangedFileOnDiskIsReplacedNotAppendedTo) {
    Judge(Entry("d1", "a", "s", "", "b"));
    f.dir.Write("history.zrk", "someone else wrote this");
    Judge(Entry("d2", "a", "s", "", "b"));
    EXPECT_EQ(f.dir.Read("history.zrk"), Expected());
}

TEST_F(HistoryFile, ClearDeletesFileAndNextMessageStartsItAgain) {
    Judge(Entry("d1", "a", "s", "", "b"));
    f.app->ClearHistory();
    EXPECT_FALSE(f.dir.Exists("history.zrk"));
    EXPECT_EQ(f.app->GetHistorySize(), 0u);
    Judge(Entry("d2", "c", "s", "23004", "b"));
    EXPECT_EQ(f.dir.Read("history.zrk"), Expected());
    EXPECT_EQ(f.app->GetHistorySize(), 1u);
}
} // namespace
