// The program as a process: start-up errors, the companion channel, the
// single-instance rule, quitting, also while a login prompt is open.
#include "core/fake_server.h"
#include "process/process_runner.h"

namespace {
using namespace std::chrono_literals;

class Program : public ::testing::Test, public CProgramDir {
  protected:
    void SetUp() override { dir.Write("Settings.ini", "[SETTINGS]\r\n10004=60\r\n"); }
};

TEST_F(Program, RefusesToStartWithoutSettingsFileOrRegistry) {
    std::filesystem::remove(dir.File("Settings.ini"));
    for (const char* registry : {"registry.ini", "missing-registry.ini"}) {
        CScopedEnv use("DROSSGATE_REGISTRY", dir.File(registry));
        ProcessResult result = RunProcess({DROSSGATE_BIN});
        ASSERT_TRUE(result.exited);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_NE(result.output.find("Sorry. some data files have been corrupted please try to "
                                     "re-install the program"),
                  std::string::npos)
            << result.output;
    }
}

// A killed instance leaves its channel's socket file behind, which must not
// block the next start; the channel then shows and quits that instance.
TEST_F(Program, ChannelSingleInstanceAndRestartAfterKill) {
    {
        CChildProcess killed({DROSSGATE_BIN});
        ASSERT_TRUE(WaitUntilAnswering(killed));
    } // with SIGKILL
    EXPECT_TRUE(dir.Exists("channel"));
    CChildProcess program({DROSSGATE_BIN});
    ASSERT_TRUE(WaitUntilAnswering(program));
    EXPECT_EQ(Ctl({"show"}).exitCode, 0);

    // A second instance for the same data directory says so and ends.
    ProcessResult second = RunProcess({DROSSGATE_BIN});
    ASSERT_TRUE(second.exited);
    EXPECT_NE(second.exitCode, 0);
    EXPECT_NE(second.output.find("already running"), std::string::npos) << second.output;
    EXPECT_EQ(Ctl({"status"}).exitCode, 0) << "the first instance must keep running";

    EXPECT_EQ(Ctl({"quit"}).exitCode, 0);
    ProcessResult ended = program.Wait(30s);
    ASSERT_TRUE(ended.exited) << "quit must end the program";
    EXPECT_EQ(ended.exitCode, 1);
    EXPECT_EQ(Ctl({"show"}).exitCode, 2);
}

// The quit request while a check waits at its login prompt: the prompt is
// cancelled, the program ends (no deadlock between the window thread and the
// waiting session) and the mailbox is left alone.
TEST_F(Program, QuitWhileLoginPromptIsOpenEndsItAndDeletesNothing) {
    CFakeServer server({S("+OK POP3 ready\r\n")}); // the prompt opens after the greeting
    dir.Write("Settings.ini",
              "[SETTINGS]\r\n10001=" + std::to_string(server.Port()) + "\r\n10004=600\r\n");
    dir.Write("ZRKList.zrk", "P|Home|127.0.0.1|u|*\r\n"); // no password stored
    CChildProcess program({DROSSGATE_BIN});
    ASSERT_TRUE(program.WaitUntil([&] { return Ctl({"check"}).exitCode == 0; }));
    ASSERT_TRUE(program.WaitUntil([&] {
        return program.Output().find("[Home] waiting for the login prompt") != std::string::npos;
    })) << program.Output();
    EXPECT_EQ(Ctl({"quit"}).exitCode, 0);
    EXPECT_TRUE(program.Wait(30s).exited) << "the program did not end";
    EXPECT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Received(), ""); // not even a user name was sent
}

TEST(CompanionCommand, UsageErrorsAndMissingInstance) {
    const CProgramDir none;
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"show", "extra"}, {"check", "--timeout", "x"}})
        EXPECT_EQ(none.Ctl(args).exitCode, 64) << args.size();
    ProcessResult help = none.Ctl({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"show", "quit", "check", "status", "64"})
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    ProcessResult show = none.Ctl({"show"});
    EXPECT_EQ(show.exitCode, 2);
    EXPECT_NE(show.output.find("no Drossgate instance"), std::string::npos);
}
} // namespace
