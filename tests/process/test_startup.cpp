// The program as a process: start-up errors, the companion channel, the
// single-instance rule, quitting, also while a login prompt is open.
#include "core/fake_server.h"
#include "process/process_runner.h"

#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {
using namespace std::chrono_literals;
constexpr uid_t kOtherUser = 65534; // for the cases that need root

// A socket at `path` listening (never answering) or connecting as `user`; -1 on failure.
int Socket(const std::string& path, uid_t user, bool listening) {
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    auto* at = reinterpret_cast<sockaddr*>(&address);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0), me = geteuid();
    bool ok = (!listening || bind(fd, at, sizeof address) == 0) && seteuid(user) == 0;
    setfsuid(me); // file access stays ours
    ok = ok && (listening ? listen(fd, 4) : connect(fd, at, sizeof address)) == 0;
    return seteuid(me) == 0 && ok ? fd : -1;
}

class Program : public ::testing::Test, public CProgramDir {
  protected:
    void SetUp() override { dir.Write("Settings.ini", "[SETTINGS]\r\n10004=60\r\n"); }
};

// A killed instance's socket file must not block the next start; the channel shows
// and quits, also while a login prompt is open.
TEST_F(Program, ChannelSingleInstanceRestartAfterKillAndQuitDuringAPrompt) {
    {
        CChildProcess killed({DROSSGATE_BIN});
        ASSERT_TRUE(WaitUntilAnswering(killed));
    } // with SIGKILL
    EXPECT_TRUE(dir.Exists("channel"));
    CChildProcess program({DROSSGATE_BIN});
    ASSERT_TRUE(WaitUntilAnswering(program));
    EXPECT_NE(Ctl({"status"}).output.find("window shown: no"), std::string::npos);
    // A second start, as from the launcher, shows the running one's window.
    ProcessResult second = RunProcess({DROSSGATE_BIN});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_NE(second.output.find("already running"), std::string::npos) << second.output;
    EXPECT_NE(Ctl({"status"}).output.find("window shown: yes"), std::string::npos);
    EXPECT_EQ(Ctl({"show"}).exitCode, 0);
    if (geteuid() == 0) { // a client of another user is closed unanswered, its quit ignored
        int fd = Socket(dir.File("channel"), kOtherUser, false);
        ASSERT_GE(fd, 0);
        (void)send(fd, "quit\n", 5, MSG_NOSIGNAL); // may meet a socket closed already
        EXPECT_LE(recv(fd, &fd, 1, 0), 0);
        EXPECT_TRUE(program.WaitUntil([&] {
            return program.Output().find("runs as uid 65534") != std::string::npos;
        })) << program.Output();
        close(fd);
    }
    EXPECT_EQ(Ctl({"status"}).exitCode, 0) << "the first instance must keep running";

    EXPECT_EQ(Ctl({"quit"}).exitCode, 0);
    EXPECT_EQ(program.Wait(30s).exitCode, 1) << "quit must end the program with 1";
    EXPECT_EQ(Ctl({"show"}).exitCode, 2);

    // Quit while a check waits at its login prompt: no deadlock, the mailbox is left alone.
    // The prompt opens after the greeting and the capabilities.
    CFakeServer server({S("+OK POP3 ready\r\n"), C("CAPA\r\n"), S("-ERR\r\n")});
    dir.Write("Settings.ini",
              "[SETTINGS]\r\n10001=" + std::to_string(server.Port()) + "\r\n10004=600\r\n");
    dir.Write("ZRKList.zrk", "P|Home|127.0.0.1|u|*\r\n"); // no password stored
    CChildProcess prompting({DROSSGATE_BIN});
    ASSERT_TRUE(prompting.WaitUntil([&] { return Ctl({"check"}).exitCode == 0; }));
    ASSERT_TRUE(prompting.WaitUntil([&] {
        return prompting.Output().find("[Home] waiting for the login prompt") != std::string::npos;
    })) << prompting.Output();
    EXPECT_EQ(Ctl({"quit"}).exitCode, 0);
    EXPECT_EQ(prompting.Wait(30s).exitCode, 1) << "the program did not end";
    EXPECT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Received(), "CAPA\r\n"); // not even a user name was sent
}

// Without an instance: usage errors, nobody to reach, no start without Settings.ini.
TEST(CompanionCommand, UsageErrorsMissingInstanceAndMissingSettings) {
    const CProgramDir none;
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"show", "extra"}, {"check", "--timeout", "x"}})
        EXPECT_EQ(none.Ctl(args).exitCode, 64) << args.size();
    EXPECT_NE(none.Ctl({"show"}).output.find("no Drossgate instance"), std::string::npos);
    const ProcessResult refused = RunProcess({DROSSGATE_BIN});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.output.find("Sorry. some data files have been corrupted"), std::string::npos)
        << refused.output;
}

// The first start on a desktop that never ran Drossgate makes the data directory from
// the installed defaults; a later start finds it and overwrites nothing.
TEST(FirstStart, CreatesThePrivateDataDirectoryAndTheRegistryFileOnce) {
    CTempDir home;
    CScopedEnv registry{"DROSSGATE_REGISTRY", home.File("config/registry.ini")},
        data{"XDG_DATA_HOME", home.File("data")},
        channel{"DROSSGATE_CHANNEL", home.File("channel")},
        platform{"QT_QPA_PLATFORM", "offscreen"}, locale{"LC_ALL", "de_DE.UTF-8"};
    const std::string dataDir = home.File("data/drossgate");
    for (int start = 0; start < 2; ++start) {
        CChildProcess program({DROSSGATE_BIN});
        ASSERT_TRUE(program.WaitUntil([] {
            return RunProcess({DROSSGATE_CTL_BIN, "status"}).exitCode == 0;
        })) << program.Output();
        EXPECT_EQ(program.Output().find("created the data directory") != std::string::npos,
                  start == 0)
            << program.Output();
        // The shipped settings want a tray icon; without a tray the window shows instead.
        if (start == 0) {
            EXPECT_NE(RunProcess({DROSSGATE_CTL_BIN, "status"}).output.find("window shown: yes"),
                      std::string::npos);
        }
        EXPECT_EQ(RunProcess({DROSSGATE_CTL_BIN, "quit"}).exitCode, 0);
        EXPECT_EQ(program.Wait(30s).exitCode, 1);
        if (start == 0) // the user's own change must survive the next start
            home.Write("data/drossgate/Settings.ini", "[SETTINGS]\n10004=42\n");
    }
    struct stat info {};
    ASSERT_EQ(stat(dataDir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(home.Read("data/drossgate/Settings.ini"), "[SETTINGS]\n10004=42\n");
    EXPECT_NE(home.Read("data/drossgate/Language/English.ini").find("[Tarnwick]"),
              std::string::npos);
    EXPECT_NE(home.Read("data/drossgate/Language/German.ini").find("Deutsch"), std::string::npos);
    EXPECT_NE(home.Read("config/registry.ini").find("Path=" + dataDir + "\r\nLanguage=German\r\n"),
              std::string::npos)
        << "the user's locale chooses the language";
}

// Where another user could stand at the channel neither end uses it, both saying why.
TEST_F(Program, ChannelThatIsNotPrivateIsRefusedByBothEnds) {
    const uid_t me = geteuid(), other = me == 0 ? kOtherUser : me; // root stands in for another
    struct Case {
        std::string dir, reason; // the channel is dir/channel
        mode_t mode;
        uid_t owner, listener;
    } cases[] = {{"open", "has mode 0777", 0777, me, me},
                 {"theirs", "belongs to uid ", 0700, other, me},
                 {"linked", "is a symbolic link", 0700, me, me},
                 {"peer", "runs as uid 65534", 0700, me, other}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        std::string place = dir.File(c.dir);
        ASSERT_TRUE(std::filesystem::create_directory(place));
        int fd = Socket(place + (c.dir == "linked" ? "/real" : "/channel"), c.listener, true);
        ASSERT_GE(fd, 0);
        if (c.dir == "linked")
            std::filesystem::create_symlink("real", place + "/channel");
        ASSERT_EQ(chmod(place.c_str(), c.mode) | chown(place.c_str(), c.owner, 0), 0);
        if (c.dir == "theirs" && me != 0)
            place = "/"; // not ours either
        CScopedEnv use("DROSSGATE_CHANNEL", place + "/channel");
        if (c.dir == "peer" && me != 0)
            continue;
        ProcessResult ctl = Ctl({"quit"}), program = RunProcess({DROSSGATE_BIN});
        EXPECT_TRUE(ctl.exitCode == 2 && ctl.output.find(c.reason) != std::string::npos)
            << ctl.output;
        EXPECT_TRUE(program.exitCode == 5 && program.output.find(c.reason) != std::string::npos)
            << program.output;
        close(fd);
    }
}

} // namespace
