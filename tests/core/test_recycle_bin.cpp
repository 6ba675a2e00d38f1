// The recycle bin's files: a copy reads back as written, damage is found,
// expiry by age and size takes the oldest first.
#include "store/recycle_bin.h"
#include "temp_dir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

BinnedMessage Copy(std::string text, std::string subject = "Hi") {
    BinnedMessage m;
    m.Type = 'I';
    m.Account = "I|imap.example|joe";
    m.ServerId = "42";
    m.Flags = "\\Seen \\Flagged";
    m.InternalDate = "17-Jul-1996 02:44:25 -0700";
    m.Subject = std::move(subject);
    m.Reason = "23003";
    m.Text = std::move(text);
    return m;
}

// Fields with line breaks stay on their line; a text with our own head in it,
// a changed byte, a cut end or a stray name are told apart from a whole copy.
TEST(RecycleBin, CopiesReadBackWholeAndDamageIsFound) {
    CTempDir dir;
    const std::string bin = dir.File("Recycle Bin");
    const std::string text = "X-Drossgate-Bin: 1 9 9 0\r\nSubject: x\r\n\r\nbody\r\n";
    BinnedMessage first = Copy(text, "line\r\nX-Drossgate-Reason: forged"),
                  second = Copy("", std::string(5000, 's'));
    std::string error;
    ASSERT_TRUE(WriteBinnedMessage(bin, first, error)) << error;
    ASSERT_TRUE(WriteBinnedMessage(bin, second, error)) << error;
    struct stat st {};
    ASSERT_EQ(stat(bin.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    BinnedMessage back;
    ASSERT_TRUE(ReadBinnedMessage(bin, first.FileName, back));
    EXPECT_FALSE(back.Damaged);
    EXPECT_EQ(back.Text, text);
    EXPECT_EQ(back.Subject + "|" + back.Reason + "|" + back.Flags + "|" + back.InternalDate + "|" +
                  back.ServerId + "|" + back.Account + back.Type,
              "line  X-Drossgate-Reason: forged|23003|\\Seen \\Flagged|17-Jul-1996 02:44:25 "
              "-0700|42|I|imap.example|joeI");
    const auto listed = ListRecycleBin(bin);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(listed[0].FileName == first.FileName && listed[0].Text.empty());
    EXPECT_TRUE(listed[1].Subject == second.Subject && !listed[1].Damaged) << "a long head";

    const std::string file = bin + "/cur/" + first.FileName;
    const std::string whole = dir.Read("Recycle Bin/cur/" + first.FileName);
    for (const std::string& damaged :
         {whole.substr(0, whole.size() - 1), whole.substr(0, whole.size() - 3) + "XY\n",
          whole.substr(0, 30), std::string("not a copy")}) {
        dir.Write("Recycle Bin/cur/" + first.FileName, damaged);
        EXPECT_TRUE(ReadBinnedMessage(bin, first.FileName, back) && back.Damaged) << damaged;
        EXPECT_TRUE(ListRecycleBin(bin)[0].Damaged == (damaged.size() != whole.size()));
    }
    EXPECT_TRUE(RemoveBinnedMessage(bin, first.FileName));
    EXPECT_FALSE(ReadBinnedMessage(bin, first.FileName, back));
    for (const std::string& name : {"../" + second.FileName, std::string("x"), std::string()})
        EXPECT_FALSE(RemoveBinnedMessage(bin, name) || ReadBinnedMessage(bin, name, back)) << name;

    // A folder through a link takes copies; a file where the folder belongs,
    // a link to nowhere and a full disk give no copy and a cause.
    std::filesystem::create_symlink(bin, dir.File("linked"));
    std::filesystem::create_symlink(dir.File("gone"), dir.File("dangling"));
    EXPECT_TRUE(WriteBinnedMessage(dir.File("linked"), second, error)) << error;
    dir.Write("file", "");
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{200, old.rlim_max}; // the hard limit stays: the old one can come back
    for (const std::string& broken : {dir.File("file"), dir.File("dangling"), bin}) {
        error.clear();
        if (broken == bin)
            setrlimit(RLIMIT_FSIZE, &small);
        BinnedMessage large = Copy(std::string(1000, 'x'));
        EXPECT_FALSE(WriteBinnedMessage(broken, large, error)) << broken;
        EXPECT_FALSE(error.empty());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(ListRecycleBin(bin).size(), 2u);
    EXPECT_TRUE(std::filesystem::is_empty(bin + "/tmp")) << "a failed copy left behind";
}

TEST(RecycleBin, ExpiryTakesTheOldestFirst) {
    CTempDir dir;
    const std::string bin = dir.File("b");
    std::string error;
    for (int i = 0; i < 4; ++i) {
        BinnedMessage m = Copy(std::string(1000, 'x'));
        ASSERT_TRUE(WriteBinnedMessage(bin, m, error));
    }
    const auto copies = ListRecycleBin(bin);
    const int64_t now = copies[0].BinnedAt;
    // Named by the second they were written: the first two are made older.
    for (int i = 0; i < 2; ++i)
        std::filesystem::rename(bin + "/cur/" + copies[i].FileName,
                                bin + "/cur/" + std::to_string(now - 86400 * (10 - 2 * i)) +
                                    copies[i].FileName.substr(copies[i].FileName.find('.')));
    dir.Write("b/tmp/left-by-a-kill", "x");
    EXPECT_EQ(ExpireRecycleBin(bin, now + 10, 30, 0), 0);
    EXPECT_EQ(ExpireRecycleBin(bin, now + 10, 9, 0), 1);
    EXPECT_TRUE(dir.Exists("b/tmp/left-by-a-kill"));
    EXPECT_EQ(ExpireRecycleBin(bin, now + 2 * 86400, 0, 2 * 1000 + 900), 1);
    EXPECT_FALSE(dir.Exists("b/tmp/left-by-a-kill"));
    const auto left = ListRecycleBin(bin);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].FileName, copies[2].FileName);
}

} // namespace
