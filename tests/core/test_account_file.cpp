// The account list file: record bytes, dead marks in place, the readers'
// rules, the owner-only mode, and the name filter.
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

TEST_F(AccountFile, EveryWriteLeavesRecordsOwnerOnly) {
    mode_t old = umask(0);
    app.AppendAccountRecord(true, "Home", "srv", "joe", "se|cret");
    umask(old);
    EXPECT_EQ(Mode(), 0600u);
    chmod(dir.File(kAccountFileName).c_str(), 0644);
    app.AppendAccountRecord(false, "", "imap.example", "ann", "");
    EXPECT_EQ(File(), "P|Home|srv|joe|se|cret\r\nI||imap.example|ann|*\r\n");
    EXPECT_EQ(Mode(), 0600u);
    chmod(dir.File(kAccountFileName).c_str(), 0644);
    app.MarkAccountRecordDead(0);
    EXPECT_EQ(Mode(), 0600u);
}

TEST_F(AccountFile, LineBreaksCannotForgeARecord) {
    dir.Write(kAccountFileName, "P|Old|s|u|p"); // last line without its line end
    app.AppendAccountRecord(false, "Evil\r\nP|x", "s", "u", "p\n");
    EXPECT_EQ(File(), "P|Old|s|u|p\r\nI|EvilP|x|s|u|p\r\n");
}

// A dead mark overwrites the record in place: every offset stays valid.
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
}

TEST(NameFilter, KeepsAllowedCharacters) {
    struct {
        std::string Text;
        char Kind;
        std::string Extra, Filtered;
        bool Removed;
    } cases[] = {{"mail_server@x.org", 'S', "", "mailserverx.org", true},
                 {"joe.doe_1@x.org", 'U', "", "joe.doe_1@x.org", false},
                 {"a  b||c*", 'U', "", "abc", true},
                 {"*@spam.example", 'U', "*", "*@spam.example", false},
                 {"a-b:c;d", 'S', "", "abcd", true},
                 // Judged by the low seven bits: 233 is an "i", 160 a blank.
                 {"caf\xe9\xa0x", 'S', "", "caf\xe9x", true},
                 {"", 'S', "", "", false}};
    for (const auto& c : cases) {
        const FilteredName result = FilterNameField(c.Text, c.Kind, c.Extra);
        EXPECT_EQ(result.Text, c.Filtered) << c.Text;
        EXPECT_EQ(result.Removed, c.Removed) << c.Text;
    }
}

} // namespace
