// history.zrk: byte format, torn records, append versus rewrite, the load in pieces.
#include "app_fixture.h"
#include "filter/history_format.h"

#include <gtest/gtest.h>

namespace {
HistoryEntry Entry(std::string date, std::string reason = "", std::string body = "b",
                   std::string subject = "s") {
    const unsigned char status = reason.empty() ? 1 : 0;
    return HistoryEntry{std::move(date),   "a@x",          std::move(subject), status,
                        std::move(reason), std::move(body)};
}

template <class Entries> std::string Records(const Entries& entries) {
    std::string all;
    for (const auto& e : entries)
        AppendHistoryRecord(all, *e);
    return all;
}

// Bars in the head fields and end markers anywhere come back as their
// substitutes, never as a shifted field or a split record; files written
// before the substitutes (a bar in a subject) parse as they always did.
TEST(HistoryFormat, RecordsReadBackAsJudgedOldFilesAsBefore) {
    std::string text;
    AppendHistoryRecord(text, Entry("Thu, 18 Sep 2003", "", "Hi", "Hello"));
    EXPECT_EQ(text, "Thu, 18 Sep 2003|a@x|Hello||||-*-*-||Hi >>==<ZRKENDMSG>==<<\r\n");
    const std::string marker(kHistoryEndMarker), substitute(kHistoryEndMarkerSubstitute);
    HistoryEntry odd{"d|1", "a|b@x", "s|" + marker, 0, "23003|", "x" + marker + "\r\ny|"};
    AppendHistoryRecord(text, odd);
    text += "d|f|a|b||||-*-*-||old >>==<ZRKENDMSG>==<<\r\n";
    size_t complete = 0;
    auto entries = ParseHistoryText(text + "d3|f3|s3||||-*-*-||partial >>==<ZRKEND", complete);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(complete, text.size());
    const HistoryEntry& back = entries[1];
    EXPECT_EQ(back.Date + back.From + back.Subject + back.Reason,
              "d!1a!b@xs!" + substitute + "23003!");
    EXPECT_EQ(back.Body, "x" + substitute + "\r\ny|");
    EXPECT_EQ(back.Status, 0);
    EXPECT_TRUE(entries[2].Subject == "a" && entries[2].Reason == "b" && entries[2].Body == "old");
}

class HistoryFile : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(f.Start()); }
    CAppFixture f;
};

// Read in 1 MB pieces on a thread, a record larger than a piece, a marker across
// a boundary and a torn tail load as the whole text parses, and calls wait for
// it; the first append after a torn tail, or after the file changed on disk,
// rewrites the file whole; clearing deletes it.
TEST_F(HistoryFile, LargeFileLoadsInPiecesBehindStartUp) {
    const size_t piece = 1 << 20;
    std::string text;
    for (int i = 0; i < 200; ++i)
        AppendHistoryRecord(text, Entry("d" + std::to_string(i)));
    AppendHistoryRecord(text, Entry("huge", "23004",
                                    std::string(piece * 5 / 2, 'y') + "\r\n>>==<ZRKENDMSG>==<< z"));
    for (int i = 0; i < 100; ++i)
        AppendHistoryRecord(text, Entry("e" + std::to_string(i)));
    // The last whole record's end marker starts 7 bytes before a boundary.
    std::string empty;
    AppendHistoryRecord(empty, Entry("big", "", ""));
    const size_t before = text.size(), marker = kHistoryEndMarker.size();
    const size_t bodySize = 4 * piece - 7 - before - (empty.size() - marker - 2);
    AppendHistoryRecord(text, Entry("big", "", std::string(bodySize, 'x')));
    ASSERT_EQ(text.find(kHistoryEndMarker, before), 4 * piece - 7);
    f.dir.Write("history.zrk", text + "torn|record");

    CFilterApp app;
    ASSERT_TRUE(app.InitInstance());
    app.AppendHistoryEntry(Entry("new"));
    app.WriteHistoryFile(HistoryWriteMode::Normal);
    AppendHistoryRecord(text, Entry("new"));
    EXPECT_TRUE(Records(app.GetHistorySnapshot()) == text) << "the loaded list differs";
    EXPECT_TRUE(f.dir.Read("history.zrk") == text) << "the file differs from the list";
    f.dir.Write("history.zrk", "someone else wrote this");
    app.AppendHistoryEntry(Entry("d2", "23006"));
    app.WriteHistoryFile(HistoryWriteMode::Normal);
    EXPECT_TRUE(f.dir.Read("history.zrk") == Records(app.GetHistorySnapshot()));
    app.ClearHistory();
    EXPECT_FALSE(f.dir.Exists("history.zrk"));
}
} // namespace
