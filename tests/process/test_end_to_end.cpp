// The whole program against the test Dovecot: on `drossgate-ctl check --wait`
// a running drossgate checks a POP3 account (plain) and an IMAP account
// (implicit TLS); then exactly the condemned mail is gone from the Maildirs
// and the history holds every message with its reason.
#include "app/core/filter_app.h"
#include "process/process_runner.h"
#include "server/mail_server.h"
#include "store/sender_list.h"

#include <set>

namespace {

using namespace std::chrono_literals;

// The mail delivered to each mailbox, and whether the rules (Normal level,
// new senders become friends, spam words "cheap pills" and "winner", friend
// ann@friends.example, blocked domain blocked.example) condemn it: for its
// spam words, its attachment, its sender's domain, being a repeat.
std::vector<std::pair<filter_test::Mail, bool>> Mixture() {
    using filter_test::Mail;
    const std::string ann = "ann@friends.example";
    const Mail twin{.From = ann, .Subject = "Twice"}, offer{.From = "promo@ads.example",
                                                            .Subject = "Offer",
                                                            .Body = "A winner of cheap pills!\r\n"};
    return {{Mail{.From = ann}, false},
            {offer, true},
            {Mail{.From = ann, .Subject = "Tool", .Attachments = {{"setup.exe"}}}, true},
            {Mail{.From = "news@blocked.example", .Subject = "Newsletter"}, true},
            {twin, true},
            {twin, true},
            {Mail{.From = "bob@new.example", .Subject = "Hello from Bob"}, false}};
}

TEST(EndToEnd, CheckWaitDeletesExactlyTheCondemnedMail) {
    SKIP_WITHOUT_MAIL_SERVER();
    const std::string users[] = {"user12", "user13"}; // POP3, IMAP
    CProgramDir program;
    {
        // The data files, written with the program's own operations.
        CFilterApp files;
        files.InstallPath = program.dir.Path();
        files.SettingsFilePath = program.dir.File(kSettingsFileName);
        files.Pop3Port = CTestMailServer::Pop3Port();
        files.ImapPort = CTestMailServer::ImapsPort();
        files.ServerTimeout = 1;
        files.CheckInterval = 600; // no timer check during the test
        files.NewSenderAction = 1; // new senders become friends: nobody is asked
        files.FilterLevel = 2;     // Normal
        files.MailLifeTime = 100000;
        files.SpamWordList.Set({"cheap pills>5", "winner>5"});
        files.SaveAllSettings();
        files.AppendSender(kFriendListFileName, "ann", "friends.example");
        files.AppendSender(kBlockedListFileName, kWholeDomainName, "blocked.example");
        for (bool pop3 : {true, false}) {
            const std::string& user = users[pop3 ? 0 : 1];
            files.AppendAccountRecord(pop3, pop3 ? "Home" : "Work", "127.0.0.1", user,
                                      CTestMailServer::Password(user));
            CTestMailServer::ResetMailbox(user);
            for (const auto& [mail, condemned] : Mixture())
                CTestMailServer::Deliver(user, filter_test::MessageText(mail));
        }
    }
    CScopedEnv trust("SSL_CERT_FILE", CTestMailServer::CaFile());
    CChildProcess drossgate({DROSSGATE_BIN});
    ASSERT_TRUE(program.WaitUntilAnswering(drossgate)) << drossgate.Output();
    ProcessResult check = program.Ctl({"check", "--wait", "--timeout", "120"}, 180s);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(program.Ctl({"quit"}).exitCode, 0);
    ASSERT_EQ(drossgate.Wait(30s).exitCode, 1);

    for (const std::string& user : users) {
        SCOPED_TRACE(user);
        EXPECT_EQ(CTestMailServer::Messages(user).size(), 2u);
        for (const auto& [mail, condemned] : Mixture())
            EXPECT_EQ(CTestMailServer::CountContaining(user, "Subject: " + mail.Subject),
                      condemned ? 0 : 1)
                << mail.Subject;
    }
    // The history, as the program wrote it: every message, the condemned
    // ones with a reason.
    CFilterApp reloaded;
    reloaded.InstallPath = program.dir.Path();
    reloaded.LoadHistoryFile();
    std::multiset<std::string> reasons; // the two sessions' records may interleave
    for (const auto& entry : reloaded.GetHistorySnapshot())
        reasons.insert(entry->Status ? "K" : entry->Reason);
    EXPECT_EQ(reasons,
              (std::multiset<std::string>{"K", "K", "K", "K", "23003", "23003", "23006", "23006",
                                          "23008", "23008", "23009", "23009", "23009", "23009"}));
}

} // namespace
