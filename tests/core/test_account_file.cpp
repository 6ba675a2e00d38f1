// The account list file: record bytes, dead marks in place, the readers'
// rules, the owner-only mode, and the name filter.
#include "app/core/filter_app.h"
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

TEST_F(AccountFile, AppendWritesRecordsOwnerOnly) {
    mode_t old = umask(0);
    app.AppendAccountRecord(true, "Home", "srv", "joe", "se|cret");
    umask(old);
    app.AppendAccountRecord(false, "", "imap.example", "ann", "");
    EXPECT_EQ(File(), "P|Home|srv|joe|se|cret\r\nI||imap.example|ann|*\r\n");
    EXPECT_EQ(Mode(), 0600u);
}

TEST_F(AccountFile, EveryWritePutsOwnerOnlyModeBack) {
    app.AppendAccountRecord(true, "A", "s", "u", "p");
    chmod(dir.File(kAccountFileName).c_str(), 0644);
    app.AppendAccountRecord(true, "B", "s", "u", "p");
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

TEST_F(AccountFile, DeadMarkKeepsEveryOffset) {
    const std::string first = "P|Home|srv|joe|pw\r\n", second = "I|Work|imap|ann|*\r\n";
    dir.Write(kAccountFileName, first + second + "P|Last|s|u|p\r\n");
    app.MarkAccountRecordDead(static_cast<int64_t>(first.size()));
    EXPECT_EQ(File(), first + "-->ork|imap|an<--\r\n" + "P|Last|s|u|p\r\n");
    // Offsets past the end, negative or on a too-short line change nothing.
    std::string before = File();
    app.MarkAccountRecordDead(100000);
    app.MarkAccountRecordDead(-1);
    EXPECT_EQ(File(), before);
}

TEST_F(AccountFile, ListShowsLiveRecordsWithOffsets) {
    const std::string a = "P|Home|srv|joe|pw\r\n", dead = "-->ork|imap|ann<--\r\n",
                      b = "I||mail.example|ann|*\r\n", c = "X|Odd|odd.example|u|p\r\n";
    dir.Write(kAccountFileName, a + dead + b + c);
    std::vector<CFilterApp::AccountRow> rows;
    std::vector<std::string> names;
    app.LoadAccountList(&rows, names);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].DisplayName, "Home");
    EXPECT_EQ(rows[0].TypeText, "POP3");
    EXPECT_EQ(rows[0].Offset, 0);
    EXPECT_EQ(rows[1].DisplayName, "mail.example");
    EXPECT_EQ(rows[1].TypeText, "IMAP");
    EXPECT_EQ(rows[1].Offset, static_cast<int64_t>(a.size() + dead.size()));
    EXPECT_EQ(rows[2].TypeText, "IMAP");
    EXPECT_EQ(names, (std::vector<std::string>{"Home", "Odd"}));
}

TEST_F(AccountFile, MissingFileListsNothing) {
    std::vector<std::string> names{"kept"};
    app.LoadAccountList(nullptr, names);
    app.MarkAccountRecordDead(0);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
    EXPECT_FALSE(dir.Exists(kAccountFileName));
}

struct FilterCase {
    std::string Text;
    char Kind;
    std::string Extra;
    std::string Filtered;
    bool Removed;
};

class NameFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(NameFilter, KeepsAllowedCharacters) {
    const FilterCase& c = GetParam();
    FilteredName result = FilterNameField(c.Text, c.Kind, c.Extra);
    EXPECT_EQ(result.Text, c.Filtered);
    EXPECT_EQ(result.Removed, c.Removed);
}

INSTANTIATE_TEST_SUITE_P(
    All, NameFilter,
    testing::Values(FilterCase{"mail_server@x.org", 'S', "", "mailserverx.org", true},
                    FilterCase{"joe.doe_1@x.org", 'U', "", "joe.doe_1@x.org", false},
                    FilterCase{"a  b||c*", 'U', "", "abc", true},
                    FilterCase{"*@spam.example", 'U', "*", "*@spam.example", false},
                    FilterCase{"a-b:c;d", 'S', "", "abcd", true},
                    // Judged by the low seven bits: 233 is an "i", 160 a blank.
                    FilterCase{"caf\xe9\xa0x", 'S', "", "caf\xe9x", true},
                    FilterCase{"", 'S', "", "", false}));

} // namespace
