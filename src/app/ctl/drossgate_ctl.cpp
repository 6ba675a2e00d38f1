// drossgate-ctl: the companion command. Sends one request to the running
// Drossgate over its channel and reports the answer.
#include "app/core/channel_path.h"
#include "app/core/learn_from_mail.h"
#include "app/core/restore_request.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
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
               "  restore --list [TEXT]         list the deleted mails whose copy is in the\n"
               "                                recycle bin: row, date, sender, subject,\n"
               "                                account; with TEXT only those whose sender\n"
               "                                or subject contains it (any case)\n"
               "  restore ROW [--save FILE]     put the mail of that row back into its IMAP\n"
               "                                inbox and take it out of the bin; with\n"
               "                                --save write it to FILE as an .eml file\n"
               "                                instead (POP3 cannot put mail back, so a\n"
               "                                POP3 mail needs --save)\n"
               "  restore --search TEXT [--save FILE]\n"
               "                                the same for the one mail whose sender or\n"
               "                                subject contains TEXT; when several match\n"
               "                                they are listed and nothing is done\n"
               "  learn --spam PATH             teach the learned score that all mail at PATH\n"
               "  learn --ham PATH              is spam (or is not): a folder of .eml files, a\n"
               "                                Maildir or an mbox file; a progress line shows\n"
               "                                how far it has come\n"
               "\n"
               "ROW numbers count every record of the history from 1, oldest first: the\n"
               "order of the history viewer when its dates take in the whole history.\n"
               "\n"
               "Exit status: 0 done; 1 the program refused the request (for restore: no\n"
               "such row, no single match, or the restore failed); 2 no Drossgate\n"
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
// The request line of `restore ...`; empty on a usage error. The program
// writes the file, so a relative FILE is made absolute here.
std::string RestoreRequest(const std::vector<std::string>& args) {
    std::vector<std::string> fields;
    size_t i = 1;
    if (i < args.size() && args[i] == "--list") {
        fields = {"list"};
        if (++i < args.size())
            fields.push_back(args[i++]);
        return i == args.size() ? RestoreRequestLine(fields) : std::string();
    }
    if (i + 1 < args.size() && args[i] == "--search") {
        fields = {"search", args[i + 1]};
        i += 2;
    } else if (i < args.size() && !args[i].empty() &&
               args[i].find_first_not_of("0123456789") == std::string::npos) {
        fields = {"row", args[i++]};
    } else {
        return {};
    }
    if (i + 2 == args.size() && args[i] == "--save" && !args[i + 1].empty()) {
        std::error_code failed;
        const std::filesystem::path file = std::filesystem::absolute(args[i + 1], failed);
        if (failed)
            return {};
        fields.push_back(file.string());
        i += 2;
    }
    return i == args.size() && !fields[1].empty() ? RestoreRequestLine(fields) : std::string();
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
    } else if (command == "restore") {
        request = RestoreRequest(args);
        if (request.empty()) {
            PrintUsage(stderr);
            return kExitUsage;
        }
        // A restore may wait for the server and for a password typed in.
        replyTimeoutMs = 0;
    } else if (command == "learn" && args.size() == 3 &&
               (args[1] == "--spam" || args[1] == "--ham") && !args[2].empty() &&
               args[2].find('\n') == std::string::npos) {
        std::error_code failed;
        const std::filesystem::path path = std::filesystem::absolute(args[2], failed);
        if (failed) {
            PrintUsage(stderr);
            return kExitUsage;
        }
        request = LearnRequestLine(args[1] == "--spam", path.string());
        // Each progress line restarts the wait.
        replyTimeoutMs = 600000;
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
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool progressShown = false;
    auto progress = [&](const std::string& line) {
        long long done = 0, total = 0;
        if (!terminal || std::sscanf(line.c_str(), "progress %lld %lld", &done, &total) != 2)
            return;
        std::fprintf(stderr, "\rLearning: %lld of %lld mails", done, total);
        progressShown = true;
    };
    int result = SendChannelRequest(path, request, reply, replyTimeoutMs, refusal, progress);
    if (progressShown)
        std::fputc('\n', stderr);
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
    if (command == "restore") {
        const bool ok = reply.rfind("ok", 0) == 0;
        const size_t text = reply.find(' ');
        const std::string shown =
            UnescapeReplyText(text == std::string::npos ? std::string() : reply.substr(text + 1));
        if (!shown.empty())
            std::fprintf(ok ? stdout : stderr, "%s\n", shown.c_str());
        return ok ? kExitOk : kExitFailed;
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
