// Sessions against the real test Dovecot: real TLS, sizes, pipelining and
// UIDPLUS. Whole cycles run the program as a process (test_end_to_end.cpp).
#include "core/session_fixture.h"
#include "mail_server.h"
#include "store/recycle_bin.h"

#include <set>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

// Subjects "keep 1", "drop 2", ..., "keep 5": "drop" is spam. The fifth gives a
// STORE by number after an EXPUNGE (2,4 once 1 is gone) something to hit.
std::string Subject(int n) {
    return (n % 2 ? "keep " : "drop ") + std::to_string(n);
}

void DeliverFive(const std::string& user) {
    CTestMailServer::ResetMailbox(user);
    for (int n = 1; n <= 5; ++n)
        CTestMailServer::Deliver(user, filter_test::MessageText({.Subject = Subject(n)}));
}

// Another mail program on the same inbox: marks message 1 deleted and
// expunges it, or leaves it marked.
void ExpungeAsOtherClient(const char* user, bool expunge) {
    CServerConnection other;
    ASSERT_EQ(other.Connect(CTestMailServer::ImapPort(), "127.0.0.1", 20s), 1);
    // The greeting is read as an untagged line of the first response.
    for (const std::string& command :
         {"LOGIN " + std::string(user) + " " + CTestMailServer::Password(user),
          std::string("SELECT INBOX"), std::string("STORE 1 +FLAGS (\\Deleted)"),
          std::string(expunge ? "EXPUNGE" : "NOOP")}) {
        ASSERT_EQ(other.SendAll("x " + command + "\r\n", 20s), 1);
        CImapResponseCollector reply("x", ReplyLimits{});
        char buffer[4096];
        for (int n = 1; n > 0 && reply.State() == CollectState::NeedMore;)
            if ((n = other.ReceiveSome(buffer, sizeof buffer, 20s)) > 0)
                reply.Feed(std::string_view(buffer, static_cast<size_t>(n)));
        ASSERT_EQ(reply.Status(), TaggedStatus::Ok) << command;
    }
}

// Only the condemned mail leaves by the session's hand when another program
// expunges message 1, or marks it, while the batch is judged: the server
// offers UIDPLUS, and the session removes exactly its condemned by UID.
// (Plain POP3 and IMAP over TLS run whole in the end-to-end test.)
TEST(ServerSession, OnlyCondemnedMailLeavesBySession) {
    SKIP_WITHOUT_MAIL_SERVER();
    for (const bool expunges : {true, false}) {
        const char* user = expunges ? "user17" : "user6";
        const std::string left = expunges ? "35" : "135"; // the messages left in the Maildir
        DeliverFive(user);
        CTempDir dir;
        CFilterApp app;
        app.InstallPath = dir.Path();
        auto imap =
            std::static_pointer_cast<CImapSession>(CTestMailServer::Session(true, app, user));
        imap->JudgeHook = [&](const std::vector<std::string>& batch) {
            ExpungeAsOtherClient(user, expunges);
            imap->KeepAlive(); // a tick of the keep-alive while the batch waits
            EXPECT_EQ(imap->SawExpunge(), expunges);
            std::vector<unsigned char> verdicts;
            for (const std::string& text : batch)
                verdicts.push_back(text.find("Subject: drop") == std::string::npos);
            return verdicts;
        };
        ASSERT_EQ(imap->ConnectToServer(CTestMailServer::ImapPort()), 1);
        imap->StartStep();
        ASSERT_TRUE(imap->WaitUntilEnded(120s));
        EXPECT_TRUE(imap->UidPlus());
        EXPECT_EQ(CTestMailServer::Messages(user).size(), left.size());
        for (int n = 1; n <= 5; ++n)
            EXPECT_EQ(CTestMailServer::CountContaining(user, "Subject: " + Subject(n)),
                      std::count(left.begin(), left.end(), '0' + n))
                << user << " " << n;
    }
}

// With a memory of judged messages a second check fetches only the new mail,
// judging leaves \Seen as it was, and a kept mail whose life time runs out
// is fetched again only for its copy in the recycle bin, which then holds
// every deleted mail byte for byte.
TEST(ServerJudgeOnce, LaterChecksFetchOnlyNewMailAndTheLifeTimeStillApplies) {
    SKIP_WITHOUT_MAIL_SERVER();
    for (const bool imap : {false, true}) {
        const char* user = imap ? "user9" : "user8";
        CTestMailServer::ResetMailbox(user);
        std::multiset<std::string> delivered;
        auto deliver = [&](int n) {
            const std::string text = filter_test::MessageText(
                {.From = n % 2 ? "ann@friends.example" : "offers@spam.example",
                 .Subject = Subject(n),
                 .Date = "Thu, 18 Sep 2003 10:00:00 +0200"});
            delivered.insert(text);
            CTestMailServer::Deliver(user, text);
        };
        for (int n = 1; n <= 4; ++n)
            deliver(n);
        CTempDir dir;
        CFilterApp app;
        app.InstallPath = dir.Path();
        UseTestLists(app);
        auto check = [&] {
            auto session = CTestMailServer::Session(imap, app, user);
            session->JudgedMemoryPath = dir.File("judged.txt");
            session->RecycleBinPath = dir.File("Recycle Bin");
            EXPECT_EQ(session->ConnectToServer(imap ? CTestMailServer::ImapPort()
                                                    : CTestMailServer::Pop3Port()),
                      1);
            session->StartStep();
            EXPECT_TRUE(session->WaitUntilEnded(120s));
            EXPECT_FALSE(session->EndedWithFailure()) << app.GetLastStatusText();
            return session->BatchSize;
        };
        EXPECT_EQ(check(), 4) << imap; // 1 and 3 kept, 2 and 4 deleted
        deliver(5);
        EXPECT_EQ(check(), 1) << imap;
        struct stat before {
        }, after{}; // a new inode: the memory file was written again
        stat(dir.File("judged.txt").c_str(), &before);
        EXPECT_EQ(check(), 0) << imap;
        stat(dir.File("judged.txt").c_str(), &after);
        EXPECT_EQ(before.st_ino, after.st_ino) << "rewritten though nothing changed";
        EXPECT_EQ(app.GetHistorySize(), 5u) << imap;
        EXPECT_EQ(CTestMailServer::Messages(user).size(), 3u) << imap;
        for (const char* sub : {"new", "cur"})
            for (const auto& entry :
                 std::filesystem::directory_iterator(CTestMailServer::Maildir(user) / sub)) {
                const std::string name = entry.path().filename().string();
                const size_t flags = name.find(":2,");
                EXPECT_TRUE(!imap || flags == std::string::npos ||
                            name.find('S', flags) == std::string::npos)
                    << name << " was marked read";
            }
        app.MailLifeTime = 1;
        EXPECT_EQ(check(), 0) << imap;
        EXPECT_EQ(CTestMailServer::Messages(user).size(), 0u) << imap;
        EXPECT_EQ(app.GetHistorySize(), 8u) << imap;
        std::multiset<std::string> binned;
        for (const BinnedMessage& listed : ListRecycleBin(dir.File("Recycle Bin"))) {
            BinnedMessage copy;
            EXPECT_TRUE(ReadBinnedMessage(dir.File("Recycle Bin"), listed.FileName, copy) &&
                        !copy.Damaged && !copy.ServerId.empty());
            binned.insert(copy.Text);
        }
        EXPECT_TRUE(binned == delivered) << imap;
    }
}

} // namespace
