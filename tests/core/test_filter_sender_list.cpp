// Sender list files: byte format, offsets, deletion marks, loading into the
// filter's lists, compaction.
#include "app_fixture.h"
#include "store/sender_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
class SenderListFile : public ::testing::Test {
  protected:
    void SetUp() override { app().InstallPath = f.dir.Path(); }
    CFilterApp& app() { return *f.app; }
    std::vector<CFilterApp::SenderRow> Load(const std::string& file) {
        std::vector<CFilterApp::SenderRow> rows;
        app().LoadSenderList(&rows, file);
        return rows;
    }
    static std::vector<std::string> Texts(const std::vector<CFilterApp::SenderRow>& rows) {
        std::vector<std::string> texts;
        for (const auto& r : rows)
            texts.push_back(r.DisplayText);
        return texts;
    }
    CAppFixture f;
};

TEST_F(SenderListFile, AppendWritesLinesAndMarkDeletedKeepsOffsets) {
    EXPECT_EQ(app().AppendSender(kFriendListFileName, "ann", "mail.example"), 0u);
    EXPECT_EQ(app().AppendSender(kFriendListFileName, "bob", "mail.example"), 21u);
    EXPECT_EQ(app().AppendSender(kFriendListFileName, "*", "offers.example"), 42u);
    EXPECT_EQ(f.dir.Read(kFriendListFileName),
              "   ann@mail.example\r\n   bob@mail.example\r\n   *@offers.example\r\n");
    EXPECT_TRUE(app().FriendAddresses.Contains("bob@mail.example"));
    EXPECT_TRUE(app().FriendDomains.Contains("offers.example"));
    EXPECT_FALSE(app().FriendAddresses.Contains("*@offers.example"));

    app().MarkSenderDeleted(kFriendListFileName, 21);
    // Offsets that are no line start or lie past the end change nothing.
    for (int64_t bad : {int64_t{5}, int64_t{61}, int64_t{63}, int64_t{1} << 33, int64_t{-1}})
        app().MarkSenderDeleted(kFriendListFileName, bad);
    const std::string marked =
        "   ann@mail.example\r\n|*|bob@mail.example\r\n   *@offers.example\r\n";
    EXPECT_EQ(f.dir.Read(kFriendListFileName), marked);

    CAppFixture fresh; // a new run sees only the live entries
    fresh.app->InstallPath = f.dir.Path();
    std::vector<CFilterApp::SenderRow> rows;
    fresh.app->LoadSenderList(&rows, kFriendListFileName);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].DisplayText, "{ann} @mail.example");
    EXPECT_EQ(rows[0].Offset, 0);
    EXPECT_EQ(rows[1].DisplayText, "{*} @offers.example");
    EXPECT_EQ(rows[1].Offset, 42);
    EXPECT_FALSE(fresh.app->FriendAddresses.Contains("bob@mail.example"));
    EXPECT_TRUE(fresh.app->FriendDomains.Contains("offers.example"));
}

TEST_F(SenderListFile, LoadFillsTheListsOfItsOwnFileOnly) {
    const std::string text = "   eve@spam.example\r\n   *@bulk.example\r\n   odd\r\n";
    f.dir.Write(kBlockedListFileName, text);
    f.dir.Write("Other.zrk", text);
    EXPECT_EQ(Texts(Load(kBlockedListFileName)),
              (std::vector<std::string>{"{eve} @spam.example", "{*} @bulk.example", "{} @odd"}));
    Load(kBlockedListFileName); // loaded again: entries twice, lookups unchanged
    EXPECT_EQ(app().BlockedAddresses.Size(), 4u);
    EXPECT_TRUE(app().BlockedAddresses.Contains("eve@spam.example"));
    EXPECT_TRUE(app().BlockedDomains.Contains("bulk.example"));
    EXPECT_FALSE(app().FriendAddresses.Contains("eve@spam.example"));

    EXPECT_EQ(Load("Other.zrk").size(), 3u);
    EXPECT_EQ(app().BlockedAddresses.Size(), 4u);
    EXPECT_TRUE(Load("Missing.zrk").empty());
}

TEST_F(SenderListFile, HandEditedLinesHaveDefinedOutcomes) {
    // No final CR: the last character goes. Lines too short for a status
    // field are no entries (marking one would overwrite the next line).
    f.dir.Write(kFriendListFileName, "   ann@mail.example\r\n\r\nab\n   bob@mail.example");
    auto rows = Load(kFriendListFileName);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].DisplayText, "{bob} @mail.exampl");
    EXPECT_EQ(rows[1].Offset, 26);
    app().MarkSenderDeleted(kFriendListFileName, rows[1].Offset);
    EXPECT_EQ(f.dir.Read(kFriendListFileName),
              "   ann@mail.example\r\n\r\nab\n|*|bob@mail.example");
}

TEST_F(SenderListFile, LineBreaksAreNeverWrittenIntoTheFile) {
    // A sender cut from a mail could carry a bare LF and plant a second entry.
    EXPECT_EQ(app().AppendSender(kFriendListFileName, "x", "a.example\n   *@bank.example"),
              kSenderNotWritten);
    EXPECT_EQ(app().AppendSender(kFriendListFileName, "x\r", "a.example"), kSenderNotWritten);
    EXPECT_FALSE(f.dir.Exists(kFriendListFileName));
    EXPECT_FALSE(app().FriendDomains.Contains("bank.example"));
}

TEST_F(SenderListFile, CompactionDropsMarkedLinesAndKeepsTheMode) {
    f.dir.Write(kFriendListFileName,
                "   ann@mail.example\r\n|*|bob@mail.example\r\n   cy\rd@x\r\n   *@o.example");
    f.dir.Write(kAccountFileName, "-->dead\r\nP|live|pop.example|u|secret\r\n");
    ASSERT_EQ(chmod(f.dir.File(kAccountFileName).c_str(), 0600), 0);

    app().CompactDataFile(kFriendListFileName, kSenderDeletedMarker);
    app().CompactDataFile(kAccountFileName, kAccountDeletedMarker);
    app().CompactDataFile("Missing.zrk", kSenderDeletedMarker);

    // The first CR of a line goes, then CR LF ends it (so a stray CR
    // moves the line's own CR inwards).
    EXPECT_EQ(f.dir.Read(kFriendListFileName),
              "   ann@mail.example\r\n   cyd@x\r\r\n   *@o.example\r\n");
    EXPECT_EQ(f.dir.Read(kAccountFileName), "P|live|pop.example|u|secret\r\n");
    struct stat st {};
    ASSERT_EQ(stat(f.dir.File(kAccountFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(f.dir.Exists("Missing.zrk"));
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(f.dir.Path()))
        ++files;
    EXPECT_EQ(files, 4); // registry.ini, Settings.ini and the two data files: no temporaries

    app().CompactDataFile(kAccountFileName, ""); // an empty marker drops nothing
    EXPECT_EQ(f.dir.Read(kAccountFileName), "P|live|pop.example|u|secret\r\n");
}
} // namespace
