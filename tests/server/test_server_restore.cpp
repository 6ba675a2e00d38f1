// A mail a check condemned goes from the real test Dovecot's inbox into the
// recycle bin and back as it was: the same bytes, its flags and its internal
// date; in plain IMAP and over implicit TLS.
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
        // Delivered read and flagged, on 17 July 1996.
        CTestMailServer::Deliver(user, filter_test::MessageText({.Subject = "restore me"}));
        for (const auto& entry :
             std::filesystem::directory_iterator(CTestMailServer::Maildir(user) / "new")) {
            const auto flagged = CTestMailServer::Maildir(user) / "cur" /
                                 (entry.path().filename().string() + ":2,FS");
            std::filesystem::rename(entry.path(), flagged);
            std::filesystem::last_write_time(
                flagged, std::chrono::file_clock::from_sys(
                             std::chrono::sys_seconds(std::chrono::seconds(837596665))));
        }
        // A check that condemns everything it judges; the first one without
        // a memory, so that the restore below joins a memory of its own.
        auto check = [&] {
            auto session = CTestMailServer::Session(true, app, user);
            session->RecycleBinPath = RecycleBinDir(app);
            if (app.JudgeOnce.load())
                session->JudgedMemoryPath =
                    app.DataFilePath(JudgedMemoryFileName('I', "127.0.0.1", user));
            session->JudgeHook = [](const std::vector<std::string>& batch) {
                return std::vector<unsigned char>(batch.size(), 0);
            };
            EXPECT_EQ(session->ConnectToServer(port), 1);
            session->StartStep();
            EXPECT_TRUE(session->WaitUntilEnded(std::chrono::seconds(60)));
            return session->BatchSize;
        };
        ASSERT_EQ(check(), 1);
        ASSERT_TRUE(CTestMailServer::Messages(user).empty()) << "not deleted";
        const auto binned = ListRecycleBin(RecycleBinDir(app));
        ASSERT_EQ(binned.size(), 1u);
        BinnedMessage copy;
        ASSERT_TRUE(ReadBinnedMessage(RecycleBinDir(app), binned[0].FileName, copy));
        EXPECT_EQ(copy.Flags, "\\Flagged \\Seen");

        std::string status;
        app.JudgeOnce = true;
        EXPECT_EQ(RestoreBinnedCopy(app, copy.FileName, status), kRestoreDone) << status;
        EXPECT_EQ(check(), 0) << "the restored mail was judged again";
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
