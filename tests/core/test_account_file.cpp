// The account list file: record bytes, dead marks, readers, mode, the name filter.
#include "app/core/filter_app.h"
#include "platform/text_file.h"
#include "store/account_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class AccountFile : public testing::Test {
  protected:
    AccountFile() { app.InstallPath = dir.Path(); }
    std::string File() const { return dir.Read(kAccountFileName); }
    unsigned Mode() const {
        struct stat st {};
        stat(dir.File(kAccountFileName).c_str(), &st);
        return st.st_mode & 0777;
    }
    CTempDir dir;
    CFilterApp app;
};

// Every write leaves the file owner-only; line breaks in a field cannot forge a record.
TEST_F(AccountFile, EveryWriteIsOwnerOnlyAndLineBreaksForgeNoRecord) {
    mode_t old = umask(0);
    app.AppendAccountRecord(true, "Home", "srv", "joe", "se|cret");
    umask(old);
    EXPECT_EQ(Mode(), 0600u);
    chmod(dir.File(kAccountFileName).c_str(), 0644);
    dir.Write(kAccountFileName, File() + "P|Old|s|u|p"); // last line without its line end
    app.AppendAccountRecord(false, "Evil\r\nP|x", "imap.example", "an\nn", "\r\n");
    EXPECT_EQ(File(), "P|Home|srv|joe|se|cret\r\nP|Old|s|u|p\r\nI|EvilP|x|imap.example|ann|*\r\n");
    EXPECT_EQ(Mode(), 0600u);
    chmod(dir.File(kAccountFileName).c_str(), 0644);
    app.MarkAccountRecordDead(0);
    EXPECT_EQ(Mode(), 0600u);
}

// A dead mark overwrites the record in place, never a byte-order mark: every offset stays
// valid. The sender lists' marks keep to the same rule.
TEST_F(AccountFile, DeadMarksInPlaceAndListShowsLiveRecordsWithOffsets) {
    std::vector<CFilterApp::AccountRow> rows;
    std::vector<std::string> names{"kept"};
    app.LoadAccountList(&rows, names); // no file: nothing listed, nothing created
    app.MarkAccountRecordDead(0);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_FALSE(dir.Exists(kAccountFileName));

    // After a byte-order mark, which no offset reaches: records start at 3.
    const std::string head = std::string(kByteOrderMark) + "P|Home|srv|joe|pw\r\n",
                      tail = "I||mail.example|ann|*\r\nX|Odd|odd.example|u|p\r\n";
    dir.Write(kAccountFileName, head + "I|Work|imap|ann|*\r\n" + tail);
    for (int64_t offset : {22, 100000, -1, 0}) // the last three: nothing
        app.MarkAccountRecordDead(offset);
    EXPECT_EQ(File(), head + "-->ork|imap|an<--\r\n" + tail);
    names.clear();
    app.LoadAccountList(&rows, names);
    std::vector<std::string> shown;
    for (const auto& r : rows)
        shown.push_back(r.DisplayName + "|" + r.TypeText + "|" + std::to_string(r.Offset));
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Home|POP3|3", "mail.example|IMAP|41", "Odd|IMAP|64"}));
    EXPECT_EQ(names, (std::vector<std::string>{"Home", "Odd"}));

    dir.Write(kFriendListFileName, std::string(kByteOrderMark) + "   ann@x.org\r\n");
    std::vector<CFilterApp::SenderRow> senders;
    app.LoadSenderList(&senders, kFriendListFileName);
    ASSERT_EQ(senders.size(), 1u);
    for (int64_t offset : {int64_t{0}, senders[0].Offset})
        app.MarkSenderDeleted(kFriendListFileName, offset);
    EXPECT_EQ(dir.Read(kFriendListFileName), std::string(kByteOrderMark) + "|*|ann@x.org\r\n");
}

TEST(NameFilter, KeepsAllowedCharacters) {
    // text, kind, extra allowed, result; judged by the low seven bits: 233 is an "i", 160 a blank
    const std::tuple<std::string, char, std::string, std::string> cases[] = {
        {"mail_server@x.org", 'S', "", "mailserverx.org"},
        {"joe.doe_1@x.org", 'U', "", "joe.doe_1@x.org"},
        {"a  b||c*", 'U', "", "abc"},
        {"*@spam.example", 'U', "*", "*@spam.example"},
        {"a-b:c;d", 'S', "", "abcd"},
        {"caf\xe9\xa0x", 'S', "", "caf\xe9x"},
        {"", 'S', "", ""}};
    for (const auto& [text, kind, extra, filtered] : cases) {
        const FilteredName result = FilterNameField(text, kind, extra);
        EXPECT_TRUE(result.Text == filtered && result.Removed == (filtered != text)) << text;
    }
}

} // namespace
