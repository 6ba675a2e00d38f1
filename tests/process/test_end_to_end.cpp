// The whole program against the test Dovecot: a running offscreen drossgate
// checks a POP3 account (plain) and an IMAP account (implicit TLS with the
// test CA) on `drossgate-ctl check --wait`; afterwards exactly the mail the
// rules condemn is gone from the Maildirs, read directly, and the history
// file holds every message with its reason.
#include "../core/temp_dir.h"
#include "../server/mail_server.h"
#include "app/core/filter_app.h"
#include "process/process_runner.h"
#include "store/sender_list.h"

#include <thread>

namespace {

using namespace std::chrono_literals;

// The data files, written with the program's own operations.
void WriteDataFiles(const CTempDir& dir, const std::string& pop3User, const std::string& imapUser) {
    CFilterApp files;
    files.InstallPath = dir.Path();
    files.SettingsFilePath = dir.File(kSettingsFileName);
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
    files.AppendAccountRecord(true, "Home", "127.0.0.1", pop3User,
                              CTestMailServer::Password(pop3User));
    files.AppendAccountRecord(false, "Work", "127.0.0.1", imapUser,
                              CTestMailServer::Password(imapUser));
}

TEST(EndToEnd, CheckWaitDeletesExactlyTheCondemnedMail) {
    SKIP_WITHOUT_MAIL_SERVER();
    const std::string pop3User = "user12", imapUser = "user13";
    CTempDir dir;
    dir.Write("registry.ini", "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + dir.Path() + "\r\n");
    WriteDataFiles(dir, pop3User, imapUser);
    DeliverMixture(pop3User);
    DeliverMixture(imapUser);
    std::map<std::string, std::string> env = {
        {"DROSSGATE_REGISTRY", dir.File("registry.ini")},
        {"DROSSGATE_CHANNEL", dir.File("channel")},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"SSL_CERT_FILE", CTestMailServer::CaFile()},
        {"DROSSGATE_TLS_PORTS", CTestMailServer::Env("DROSSGATE_TLS_PORTS")}};
    auto ctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), DROSSGATE_CTL_BIN);
        return RunProcess(args, env, 180s);
    };

    CChildProcess program({DROSSGATE_BIN}, env);
    ASSERT_TRUE(program.Started());
    auto end = std::chrono::steady_clock::now() + 60s;
    while (ctl({"status"}).exitCode != 0) {
        ASSERT_TRUE(program.Running() && std::chrono::steady_clock::now() < end)
            << program.Wait(1s).output;
        std::this_thread::sleep_for(50ms); // polling a child process; nothing to wait on
    }

    ProcessResult check = ctl({"check", "--wait", "--timeout", "120"});
    EXPECT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(ctl({"quit"}).exitCode, 0);
    ProcessResult ended = program.Wait(30s);
    ASSERT_TRUE(ended.exited);

    ExpectOnlyUncondemnedLeft(pop3User);
    ExpectOnlyUncondemnedLeft(imapUser);
    // The history, as the program wrote it: every message, each reason.
    const std::string history = dir.Read(kHistoryFileName);
    for (const Delivery& d : Mixture())
        EXPECT_NE(history.find(d.Mail.Subject), std::string::npos) << d.Mail.Subject;
    for (const char* reason : {"23003", "23006", "23008", "23009"})
        EXPECT_NE(history.find(reason), std::string::npos) << reason;
}

} // namespace
