// One real check of the effectiveness benchmark: the application object on a
// prepared data directory, started as the program starts it, checks the
// accounts of that directory once. Questions about new senders are answered
// as a user who knows the truth would: Block for the senders of the test
// spam, Friend for those of the test ham.
//
//   bench_effectiveness_check DATA_DIR TEST_DIR [TIMEOUT_SECONDS]
//
// TEST_DIR holds ham/ and spam/, one message per file, as delivered. Prints
// one JSON object: the questions and how they were answered.
#include "app/core/filter_app.h"
#include "filter/mail_decoder.h"
#include "filter/mail_message.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Safe inside a JSON string.
std::string Printable(std::string text) {
    for (char& c : text)
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sender as the rules cut it from the raw message, as a question names it
// without DecodeMail.
std::string CutSenderKey(const std::string& message) {
    std::string text = "+OK 0 octets\r\n";
    text.reserve(message.size() * 2);
    for (char c : message) {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    CMailMessage parsed;
    parsed.SetRawText(std::move(text));
    parsed.ParseHeaders();
    return Lower(BareSenderAddress(parsed.GetSender()));
}

struct Truth {
    int Spam = 0;
    int Ham = 0;
};

class CTruthfulUser : public INewSenderPrompt {
  public:
    explicit CTruthfulUser(std::unordered_map<std::string, Truth> truth)
        : truth_(std::move(truth)) {}

    NewSenderAnswer AskNewSender(const NewSenderQuestion& question) override {
        std::lock_guard guard(lock_);
        ++Asked;
        if (!question.Guess.empty())
            ++Guesses[question.Guess];
        std::string key = Lower(BareSenderAddress(question.Sender));
        if (key.empty())
            key = Lower(question.Sender);
        const auto it = truth_.find(key);
        if (it == truth_.end()) {
            // Not a sender of the test mail as the bench reads it: the user
            // cannot tell either and keeps the mail.
            ++Unknown;
            ++Friends;
            return NewSenderAnswer::Friend;
        }
        if (it->second.Spam > 0 && it->second.Ham > 0)
            ++Mixed;
        if (it->second.Spam > it->second.Ham) {
            ++Blocks;
            return NewSenderAnswer::Block;
        }
        ++Friends;
        return NewSenderAnswer::Friend;
    }

    int Asked = 0, Friends = 0, Blocks = 0, Unknown = 0, Mixed = 0;
    std::map<std::string, int> Guesses; // what the learned score told the user

  private:
    std::mutex lock_;
    std::unordered_map<std::string, Truth> truth_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DATA_DIR TEST_DIR [TIMEOUT_SECONDS]\n", argv[0]);
        return 2;
    }
    const fs::path data = argv[1];
    const fs::path tests = argv[2];
    const int timeout = argc > 3 ? std::atoi(argv[3]) : 1800;

    std::unordered_map<std::string, Truth> truth;
    int unreadable = 0, undecodable = 0;
    for (const char* kind : {"ham", "spam"}) {
        for (const auto& entry : fs::directory_iterator(tests / kind)) {
            const std::string text = ReadFile(entry.path());
            // Both ways the rules may read the sender: the raw cut, and the
            // decoded From field (DecodeMail).
            const std::string cut = CutSenderKey(text);
            const std::string decoded = Lower(DecodeMail(text).FromAddress);
            if (cut.empty())
                ++unreadable;
            if (decoded.empty())
                ++undecodable;
            auto count = [&](const std::string& key) {
                if (!key.empty())
                    (kind[0] == 's' ? truth[key].Spam : truth[key].Ham) += 1;
            };
            count(cut);
            if (decoded != cut)
                count(decoded);
        }
    }

    setenv("DROSSGATE_REGISTRY", (data / "registry.ini").c_str(), 1);
    // Never destroyed: session threads may hold it until the process ends.
    auto* app = new CFilterApp;
    if (!app->InitInstance()) {
        std::fprintf(stderr, "start-up failed: %s\n", app->StartupErrorText().c_str());
        return 1;
    }
    // What the windows do when they open: the sender lists and the spam tables.
    std::vector<CFilterApp::SenderRow> rows;
    app->LoadSenderList(&rows, kFriendListFileName);
    rows.clear();
    app->LoadSenderList(&rows, kBlockedListFileName);
    app->BuildSpamWordTables();

    CTruthfulUser user(std::move(truth));
    app->NewSenderPrompt = &user;
    const auto begin = std::chrono::steady_clock::now();
    app->CheckNow();
    const bool ended = app->WaitForCheckToFinish(std::chrono::seconds(timeout));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const std::string status = Printable(app->GetLastStatusText());
    std::string guesses;
    for (const auto& [text, count] : user.Guesses)
        guesses +=
            (guesses.empty() ? "\"" : ", \"") + Printable(text) + "\": " + std::to_string(count);
    CTokenClassifier& learned = app->LearnedScore.Classifier();
    std::printf("{\"ended\": %s, \"seconds\": %.3f, \"asked\": %d, \"friends\": %d, "
                "\"blocks\": %d, \"unknown\": %d, \"mixed\": %d, \"unreadable_senders\": %d, "
                "\"undecodable_senders\": %d, \"guesses_shown\": {%s}, "
                "\"learned_after\": {\"spam\": %u, \"ham\": %u}, \"status\": \"%s\"}\n",
                ended ? "true" : "false", seconds, user.Asked, user.Friends, user.Blocks,
                user.Unknown, user.Mixed, unreadable, undecodable, guesses.c_str(),
                learned.SpamMails(), learned.HamMails(), status.c_str());
    std::fflush(stdout);
    // Threads may still be inside the application object after a time-out.
    std::_Exit(ended ? 0 : 3);
}
