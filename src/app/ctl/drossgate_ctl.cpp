// drossgate-ctl: the companion command. Sends one request to the running
// Drossgate over its channel and reports the answer.
#include "app/core/channel_path.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNoInstance = 2;
constexpr int kExitTimeout = 3;
constexpr int kExitUsage = 64;

void PrintUsage(FILE* out) {
    std::fputs("usage: drossgate-ctl COMMAND\n"
               "\n"
               "Commands:\n"
               "  show                          show Drossgate's main window\n"
               "  quit                          end Drossgate (nothing is saved)\n"
               "  check                         start a mail check now, as \"Check Now\" does\n"
               "  check --wait [--timeout S]    start a check and wait until all of its\n"
               "                                sessions have ended (default 600 seconds),\n"
               "                                then print the last status\n"
               "  check --dry-run [--wait ...]  the same, but this check deletes nothing: it\n"
               "                                judges and records every message, and the\n"
               "                                history shows what would have been deleted\n"
               "  status                        print the last status text and whether a\n"
               "                                check cycle or sessions are running\n"
               "\n"
               "Exit status: 0 done; 1 the program refused the request; 2 no Drossgate\n"
               "instance answers, or the channel is not private to you; 3 check --wait\n"
               "timed out; 64 usage error.\n"
               "The channel is $DROSSGATE_CHANNEL, else $XDG_RUNTIME_DIR/drossgate.sock,\n"
               "else /tmp/drossgate-UID/channel. Its directory must be yours with no\n"
               "group or other access, and the program answering must run as you.\n",
               out);
}

bool ParseSeconds(const std::string& text, long long& seconds) {
    if (text.empty() || text.size() > 9)
        return false;
    seconds = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        seconds = seconds * 10 + (c - '0');
    }
    return seconds > 0;
}
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (args.empty()) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    std::string request;
    long long replyTimeoutMs = 10000;
    const std::string& command = args[0];
    if ((command == "show" || command == "quit" || command == "status") && args.size() == 1) {
        request = command;
    } else if (command == "check") {
        long long seconds = 600;
        bool wait = false, timeout = false, dryRun = false;
        for (size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--wait") {
                wait = true;
            } else if (args[i] == "--dry-run") {
                dryRun = true;
            } else if (args[i] == "--timeout" && i + 1 < args.size() &&
                       ParseSeconds(args[i + 1], seconds)) {
                timeout = true;
                ++i;
            } else {
                PrintUsage(stderr);
                return kExitUsage;
            }
        }
        if (timeout && !wait) {
            PrintUsage(stderr);
            return kExitUsage;
        }
        request = std::string(dryRun ? "check --dry-run" : "check") +
                  (wait ? " --wait " + std::to_string(seconds) : "");
        if (wait)
            replyTimeoutMs = seconds * 1000 + 10000;
    } else {
        PrintUsage(stderr);
        return kExitUsage;
    }

    std::string error;
    std::string path = ChannelSocketPath(error);
    if (path.empty()) {
        std::fprintf(stderr, "drossgate-ctl: %s\n", error.c_str());
        return kExitNoInstance;
    }
    std::string reply, refusal;
    int result = SendChannelRequest(path, request, reply, replyTimeoutMs, refusal);
    if (result == -2) {
        std::fprintf(stderr, "drossgate-ctl: %s at %s\n", refusal.c_str(), path.c_str());
        return kExitNoInstance;
    }
    if (result == 0) {
        std::fprintf(stderr, "drossgate-ctl: no Drossgate instance answers on %s\n", path.c_str());
        return kExitNoInstance;
    }
    if (result < 0) {
        std::fprintf(stderr, "drossgate-ctl: Drossgate did not answer the request\n");
        return command == "check" ? kExitTimeout : kExitFailed;
    }
    // Replies: "ok[ TEXT]", "timeout[ TEXT]", "error TEXT".
    auto rest = [&](size_t word) {
        return reply.size() > word ? reply.substr(word + 1) : std::string();
    };
    if (reply.rfind("ok", 0) == 0) {
        if (reply.size() > 2)
            std::printf("%s\n", rest(2).c_str());
        return kExitOk;
    }
    if (reply.rfind("timeout", 0) == 0) {
        std::fprintf(stderr, "drossgate-ctl: the check did not end in time\n");
        if (reply.size() > 7)
            std::printf("%s\n", rest(7).c_str());
        return kExitTimeout;
    }
    std::fprintf(stderr, "drossgate-ctl: %s\n", reply.c_str());
    return kExitFailed;
}
