// Sender list files: byte format, offsets, deletion marks, loading, compaction.
#include "app_fixture.h"
#include "store/sender_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
class SenderListFile : public ::testing::Test {
  protected:
    SenderListFile() { a.InstallPath = f.dir.Path(); }
    // Each row as "display text|offset".
    static std::vector<std::string> Load(CFilterApp& app, const std::string& file) {
        std::vector<CFilterApp::SenderRow> rows;
        app.LoadSenderList(&rows, file);
        std::vector<std::string> texts;
        for (const auto& r : rows)
            texts.push_back(r.DisplayText + "|" + std::to_string(r.Offset));
        return texts;
    }
    using Rows = std::vector<std::string>;
    CAppFixture f;
    CFilterApp& a = *f.app;
};

TEST_F(SenderListFile, AppendWritesLinesAndMarkDeletedKeepsOffsets) {
    EXPECT_EQ(a.AppendSender(kFriendListFileName, "ann", "mail.example"), 0u);
    EXPECT_EQ(a.AppendSender(kFriendListFileName, "bob", "mail.example"), 21u);
    EXPECT_EQ(a.AppendSender(kFriendListFileName, "*", "offers.example"), 42u);
    EXPECT_EQ(f.dir.Read(kFriendListFileName),
              "   ann@mail.example\r\n   bob@mail.example\r\n   *@offers.example\r\n");
    EXPECT_TRUE(a.FriendAddresses.Contains("bob@mail.example"));
    EXPECT_TRUE(a.FriendDomains.Contains("offers.example"));
    EXPECT_FALSE(a.FriendAddresses.Contains("*@offers.example"));

    a.MarkSenderDeleted(kFriendListFileName, 21);
    // Offsets that are no line start or lie past the end change nothing.
    for (int64_t bad : {int64_t{5}, int64_t{61}, int64_t{63}, int64_t{1} << 33, int64_t{-1}})
        a.MarkSenderDeleted(kFriendListFileName, bad);
    EXPECT_EQ(f.dir.Read(kFriendListFileName),
              "   ann@mail.example\r\n|*|bob@mail.example\r\n   *@offers.example\r\n");
}

// A list fills its own lookups with live entries only; no final CR: the last
// character goes; lines too short for a status field are no entries.
TEST_F(SenderListFile, LoadFillsItsOwnListsAndHandEditedLinesHaveDefinedOutcomes) {
    f.dir.Write(kBlockedListFileName,
                "   eve@spam.example\r\n|*|gone@x.example\r\n   *@bulk.example\r\n   odd\r\n");
    EXPECT_EQ(Load(a, kBlockedListFileName),
              (Rows{"{eve} @spam.example|0", "{*} @bulk.example|40", "{} @odd|59"}));
    EXPECT_TRUE(a.BlockedDomains.Contains("bulk.example"));
    EXPECT_FALSE(a.FriendAddresses.Contains("eve@spam.example"));
    EXPECT_TRUE(Load(a, "Missing.zrk").empty());
    f.dir.Write("Other.zrk", "   ann@mail.example\r\n\r\nab\n   bob@mail.example");
    EXPECT_EQ(Load(a, "Other.zrk"), (Rows{"{ann} @mail.example|0", "{bob} @mail.exampl|26"}));
    EXPECT_EQ(a.BlockedAddresses.Size() + a.FriendAddresses.Size(), 2u);
    a.MarkSenderDeleted("Other.zrk", 26);
    EXPECT_EQ(f.dir.Read("Other.zrk"), "   ann@mail.example\r\n\r\nab\n|*|bob@mail.example");

    // A sender cut from a mail could carry a bare LF and plant a second entry.
    EXPECT_EQ(a.AppendSender(kFriendListFileName, "x", "a.example\n   *@bank.example"),
              kSenderNotWritten);
    EXPECT_EQ(a.AppendSender(kFriendListFileName, "x\r", "a.example"), kSenderNotWritten);
    EXPECT_FALSE(f.dir.Exists(kFriendListFileName));
    EXPECT_FALSE(a.FriendDomains.Contains("bank.example"));
}

TEST_F(SenderListFile, CompactionDropsMarkedLinesAndKeepsTheMode) {
    f.dir.Write(kFriendListFileName,
                "   ann@mail.example\r\n|*|bob@mail.example\r\n   cy\rd@x\r\n   *@o.example");
    f.dir.Write(kAccountFileName, "-->dead\r\nP|live|pop.example|u|secret\r\n");
    ASSERT_EQ(chmod(f.dir.File(kAccountFileName).c_str(), 0600), 0);

    a.CompactDataFile(kFriendListFileName, kSenderDeletedMarker);
    a.CompactDataFile(kAccountFileName, kAccountDeletedMarker);
    a.CompactDataFile("Missing.zrk", kSenderDeletedMarker);
    a.CompactDataFile(kAccountFileName, ""); // an empty marker drops nothing

    // The first CR of a line goes, then CR LF ends it.
    EXPECT_EQ(f.dir.Read(kFriendListFileName),
              "   ann@mail.example\r\n   cyd@x\r\r\n   *@o.example\r\n");
    EXPECT_EQ(f.dir.Read(kAccountFileName), "P|live|pop.example|u|secret\r\n");
    struct stat st {};
    ASSERT_EQ(stat(f.dir.File(kAccountFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(f.dir.Path()))
        ++files;
    EXPECT_EQ(files, 4); // registry.ini, Settings.ini and the two data files: no temporaries
}
} // namespace
