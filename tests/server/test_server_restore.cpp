// A copy from the recycle bin goes back into the real test Dovecot's inbox
// as it was: the same bytes, its flags and its internal date; in plain IMAP
// and over implicit TLS.
#include "app/core/restore.h"
#include "core/app_fixture.h"
#include "mail_server.h"
#include "store/judged_memory.h"

#include <sys/stat.h>

namespace {

TEST(ServerRestore, CopyReturnsWithItsBytesFlagsAndDateAndLeavesTheBin) {
    SKIP_WITHOUT_MAIL_SERVER();
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::CaFile());
    for (const int port : {CTestMailServer::ImapPort(), CTestMailServer::ImapsPort()}) {
        const std::string user = "user14";
        CTestMailServer::ResetMailbox(user);
        CAppFixture f;
        ASSERT_TRUE(f.Start());
        CFilterApp& app = *f.app;
        app.ImapPort = port;
        app.ServerTimeoutMsOverride = 20000;
        f.dir.Write("ZRKList.zrk",
                    "I|Work|127.0.0.1|" + user + "|" + CTestMailServer::Password(user) + "\r\n");
        BinnedMessage copy;
        copy.Type = 'I';
        copy.Account = JudgedAccountKey('I', "127.0.0.1", user);
        copy.Flags = "\\Seen \\Flagged";
        copy.InternalDate = "17-Jul-1996 02:44:25 -0700";
        copy.Date = "Tue, 09 Sep 2003";
        copy.Reason = "blocked";
        copy.Text = filter_test::MessageText({.Subject = "restore me"});
        std::string error;
        ASSERT_TRUE(WriteBinnedMessage(RecycleBinDir(app), copy, error)) << error;

        std::string status;
        EXPECT_EQ(RestoreBinnedCopy(app, copy.FileName, status), kRestoreDone) << status;
        EXPECT_TRUE(ListRecycleBin(RecycleBinDir(app)).empty());
        int found = 0;
        for (const char* sub : {"new", "cur"})
            for (const auto& entry :
                 std::filesystem::directory_iterator(CTestMailServer::Maildir(user) / sub)) {
                ++found;
                const std::string name = entry.path().filename().string();
                EXPECT_TRUE(name.ends_with(":2,FS")) << name;
                std::ifstream in(entry.path(), std::ios::binary);
                EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), copy.Text);
                struct stat st {};
                ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
                EXPECT_EQ(st.st_mtime, 837596665) << "1996-07-17 09:44:25 UTC";
            }
        EXPECT_EQ(found, 1) << port;
    }
}

} // namespace
