// The whole program against the test Dovecot: `drossgate-ctl check --wait` on a
// POP3 (plain) and an IMAP (TLS) account leaves exactly the kept mail, the
// recycle bin a copy of each deleted one, and the history holds every message
// with its reason; a dry run before it deletes nothing.
#include "app/core/filter_app.h"
#include "process/process_runner.h"
#include "server/mail_server.h"
#include "store/recycle_bin.h"
#include "store/sender_list.h"

#include <set>

namespace {

using namespace std::chrono_literals;

// Each mailbox's mail and whether the rules below condemn it (spam words, a
// blocked domain); kept and condemned alternate, so no verdict can slip.
std::vector<std::pair<filter_test::Mail, bool>> Mixture() {
    using filter_test::Mail;
    return {
        {Mail{.From = "ann@friends.example"}, false},
        {Mail{.From = "promo@ads.example", .Subject = "Offer", .Body = "A winner of pills!\r\n"},
         true},
        {Mail{.From = "bob@new.example", .Subject = "Hello from Bob"}, false},
        {Mail{.From = "news@blocked.example", .Subject = "Newsletter"}, true}};
}

TEST(EndToEnd, CheckWaitDeletesExactlyTheCondemnedMail) {
    SKIP_WITHOUT_MAIL_SERVER();
    const std::string users[] = {"user12", "user13"}; // POP3, IMAP
    CProgramDir program;
    { // the data files, written with the program's own operations
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
        files.RecycleBinDays = 30;
        files.SpamWordList.Set({"pills>5", "winner>5"});
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
    // A dry run first: every mail stays, the records say what would go.
    ProcessResult dry = program.Ctl({"check", "--dry-run", "--wait", "--timeout", "120"}, 180s);
    EXPECT_EQ(dry.exitCode, 0) << dry.output;
    for (const std::string& user : users)
        EXPECT_EQ(CTestMailServer::Messages(user).size(), Mixture().size()) << user;
    ProcessResult check = program.Ctl({"check", "--wait", "--timeout", "120"}, 180s);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    // Training from a folder through the channel, on top of what the check
    // learned.
    program.dir.Write("spam/a.eml", filter_test::MessageText({.Body = "one"}));
    program.dir.Write("spam/b.eml", filter_test::MessageText({.Body = "two"}));
    ProcessResult learn = program.Ctl({"learn", "--spam", program.dir.File("spam")});
    EXPECT_EQ(learn.exitCode, 0) << learn.output;
    EXPECT_NE(learn.output.find("Learned 2 mails as spam."), std::string::npos) << learn.output;
    EXPECT_EQ(program.Ctl({"quit"}).exitCode, 0);
    ASSERT_EQ(drossgate.Wait(30s).exitCode, 1);

    CTokenClassifier learned;
    EXPECT_EQ(learned.Load(program.dir.File(kLearnedTokensFileName)), 0);
    // Per account: the blocked newsletter as spam; the friend's mail and Bob's
    // (a friend since the dry run) as ham. And the folder's two as spam.
    EXPECT_EQ(learned.SpamMails(), 4u);
    EXPECT_EQ(learned.HamMails(), 4u);
    for (const std::string& user : users) {
        SCOPED_TRACE(user);
        EXPECT_EQ(CTestMailServer::Messages(user).size(), 2u);
        for (const auto& [mail, condemned] : Mixture())
            EXPECT_EQ(CTestMailServer::CountContaining(user, "Subject: " + mail.Subject),
                      condemned ? 0 : 1)
                << mail.Subject;
    }
    EXPECT_EQ(ListRecycleBin(program.dir.File(kRecycleBinFolder)).size(), 4u);
    CFilterApp reloaded;
    reloaded.InstallPath = program.dir.Path();
    reloaded.LoadHistoryFile();
    std::multiset<std::string> reasons; // the two sessions' records may interleave
    for (const auto& entry : reloaded.GetHistorySnapshot())
        reasons.insert(entry->Status ? "K" : entry->Reason);
    EXPECT_EQ(reasons, (std::multiset<std::string>{"K", "K", "K", "K", "23010 23003", "23010 23003",
                                                   "23010 23006", "23010 23006", "K", "K", "K", "K",
                                                   "23003", "23003", "23006", "23006"}));
}

} // namespace
