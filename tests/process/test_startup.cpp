// The program as a process: start-up errors, the companion channel, the
// single-instance rule, quitting.
#include "../core/temp_dir.h"
#include "process/process_runner.h"

#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {
using namespace std::chrono_literals;

class ProgramFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("registry.ini", "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + dir.Path() +
                                      "\r\nLanguage=English\r\n");
        dir.Write("Settings.ini", "[SETTINGS]\r\n10004=60\r\n");
        env = {{"DROSSGATE_REGISTRY", dir.File("registry.ini")},
               {"DROSSGATE_CHANNEL", dir.File("channel")},
               {"QT_QPA_PLATFORM", "offscreen"}};
    }
    ProcessResult Ctl(std::vector<std::string> args) {
        args.insert(args.begin(), DROSSGATE_CTL_BIN);
        return RunProcess(args, env, 30s);
    }
    // Waits until the channel answers (the program is up) or the child ends.
    bool WaitUntilAnswering(CChildProcess& child) {
        auto end = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < end && child.Running()) {
            if (Ctl({"status"}).exitCode == 0)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    CTempDir dir;
    std::map<std::string, std::string> env;
};

TEST_F(ProgramFixture, RefusesToStartWithoutSettingsFileOrRegistry) {
    const std::string text =
        "Sorry. some data files have been corrupted please try to re-install the program";
    std::filesystem::remove(dir.File("Settings.ini"));
    ProcessResult noSettings = RunProcess({DROSSGATE_BIN}, env);
    ASSERT_TRUE(noSettings.exited);
    EXPECT_NE(noSettings.exitCode, 0);
    EXPECT_NE(noSettings.output.find(text), std::string::npos) << noSettings.output;

    env["DROSSGATE_REGISTRY"] = dir.File("missing-registry.ini");
    ProcessResult noRegistry = RunProcess({DROSSGATE_BIN}, env);
    ASSERT_TRUE(noRegistry.exited);
    EXPECT_NE(noRegistry.exitCode, 0);
    EXPECT_NE(noRegistry.output.find(text), std::string::npos) << noRegistry.output;
}

TEST_F(ProgramFixture, ChannelShowsQuitsAndAllowsOneInstancePerDataDirectory) {
    CChildProcess program({DROSSGATE_BIN}, env);
    ASSERT_TRUE(WaitUntilAnswering(program));

    EXPECT_EQ(Ctl({"show"}).exitCode, 0);

    // A second instance for the same data directory says so and ends.
    ProcessResult second = RunProcess({DROSSGATE_BIN}, env, 30s);
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

TEST_F(ProgramFixture, KilledInstanceLeavesNothingThatBlocksTheNextStart) {
    {
        CChildProcess program({DROSSGATE_BIN}, env);
        ASSERT_TRUE(WaitUntilAnswering(program));
        program.Kill(SIGKILL);
        program.Wait(10s);
    }
    EXPECT_TRUE(dir.Exists("channel")); // the socket file stays behind
    CChildProcess next({DROSSGATE_BIN}, env);
    ASSERT_TRUE(WaitUntilAnswering(next));
    EXPECT_EQ(Ctl({"quit"}).exitCode, 0);
    EXPECT_TRUE(next.Wait(30s).exited);
}

TEST(CompanionCommand, UsageErrorsAndMissingInstance) {
    CTempDir dir;
    std::map<std::string, std::string> env{{"DROSSGATE_CHANNEL", dir.File("nobody")}};
    EXPECT_EQ(RunProcess({DROSSGATE_CTL_BIN}, env).exitCode, 64);
    EXPECT_EQ(RunProcess({DROSSGATE_CTL_BIN, "frobnicate"}, env).exitCode, 64);
    EXPECT_EQ(RunProcess({DROSSGATE_CTL_BIN, "show", "extra"}, env).exitCode, 64);
    EXPECT_EQ(RunProcess({DROSSGATE_CTL_BIN, "check", "--timeout", "x"}, env).exitCode, 64);
    ProcessResult help = RunProcess({DROSSGATE_CTL_BIN, "--help"}, env);
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"show", "quit", "check", "status", "64"})
        EXPECT_NE(help.output.find(word), std::string::npos) << word;
    ProcessResult none = RunProcess({DROSSGATE_CTL_BIN, "show"}, env);
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.output.find("no Drossgate instance"), std::string::npos);
}
} // namespace
