// The quit request while a check waits at its login prompt: the prompt is
// cancelled, the program ends within its deadline (no deadlock between the
// window thread and the waiting session) and the mailbox is left alone.
#include "../core/fake_server.h"
#include "../core/temp_dir.h"
#include "process/process_runner.h"

#include <functional>

namespace {

using namespace std::chrono_literals;

TEST(QuitDuringPrompt, EndsTheProgramAndDeletesNothing) {
    CFakeServer server({S("+OK POP3 ready\r\n")}); // the prompt opens after the greeting
    CTempDir dir;
    dir.Write("registry.ini", "[Software\\Tarn Wick\\Dorn\\Spurl]\r\nPath=" + dir.Path() + "\r\n");
    dir.Write("Settings.ini",
              "[SETTINGS]\r\n10001=" + std::to_string(server.Port()) + "\r\n10004=600\r\n");
    dir.Write("ZRKList.zrk", "P|Home|127.0.0.1|u|*\r\n"); // no password stored
    const std::map<std::string, std::string> env = {
        {"DROSSGATE_REGISTRY", dir.File("registry.ini")},
        {"DROSSGATE_CHANNEL", dir.File("channel")},
        {"QT_QPA_PLATFORM", "offscreen"}};
    auto ctl = [&](const char* request) {
        return RunProcess({DROSSGATE_CTL_BIN, request}, env, 30s).exitCode;
    };
    // Standard error to a file of its own, to be read while the program runs.
    CChildProcess program({"/bin/sh", "-c", "exec \"$0\" 2>\"$1\"", DROSSGATE_BIN, dir.File("log")},
                          env);
    auto waitFor = [&](const std::function<bool()>& condition) {
        for (auto end = std::chrono::steady_clock::now() + 60s;
             program.Running() && std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(50ms)) // polling a child process; nothing to wait on
            if (condition())
                return true;
        return false;
    };
    ASSERT_TRUE(waitFor([&] { return ctl("check") == 0; }));
    ASSERT_TRUE(waitFor([&] {
        return dir.Read("log").find("[Home] waiting for the login prompt") != std::string::npos;
    })) << dir.Read("log");
    EXPECT_EQ(ctl("quit"), 0);
    EXPECT_TRUE(program.Wait(30s).exited) << "the program did not end";
    EXPECT_TRUE(server.WaitDone());
    EXPECT_EQ(server.Received(), ""); // not even a user name was sent
    // Whether the cancelled session still logs its status before the process
    // ends is a race the program does not wait for, so it is not checked.
}

} // namespace
