#include "app/core/learn_from_mail.h"

#include "app/core/filter_app.h"
#include "filter/learned_texts.h"
#include "filter/mail_decoder.h"
#include "platform/digest.h"
#include "store/english_texts.h"
#include "store/mail_folder.h"

#include <chrono>

namespace {
constexpr const char* kRequestWord = "learn ";

std::string Text(CFilterApp& app, int id) {
    return app.GetLocalizedText(id, EnglishDefault(id));
}

void Fill(std::string& text, const std::string& first, const std::string& second = {}) {
    if (const size_t at = text.find("%1"); at != std::string::npos)
        text.replace(at, 2, first);
    if (const size_t at = text.find("%2"); at != std::string::npos)
        text.replace(at, 2, second);
}
} // namespace

long LearnFromMailAt(CFilterApp& app, const std::string& path, bool spam,
                     const std::function<bool(long done, long total)>& progress,
                     std::string& error) {
    const long total = CountMailsAt(path, &error);
    if (total < 0)
        return -1;
    CTokenClassifier& learned = app.LearnedScore.Classifier();
    long done = 0;
    auto shown = std::chrono::steady_clock::time_point{};
    const long read = ForEachMailAt(
        path,
        [&](std::string message) {
            learned.Learn(MailTokens(DecodeMail(message)), spam, "m:" + TextDigest(message));
            const auto now = std::chrono::steady_clock::now();
            if (!progress || (++done < total && now - shown < std::chrono::milliseconds(100)))
                return true;
            shown = now;
            return progress(done, std::max(total, done));
        },
        &error);
    if (read < 0)
        return -1;
    std::string saveError;
    if (!app.LearnedScore.SaveIfChanged(&saveError))
        app.LogLine("what was learned could not be written: " + saveError, "-");
    return read;
}

std::string LearnRequestLine(bool spam, const std::string& path) {
    return std::string(kRequestWord) + (spam ? "spam " : "ham ") + path;
}

bool ParseLearnRequest(const std::string& line, bool& spam, std::string& path) {
    if (!line.starts_with(kRequestWord))
        return false;
    const std::string rest = line.substr(6);
    spam = rest.starts_with("spam ");
    if (!spam && !rest.starts_with("ham "))
        return false;
    path = rest.substr(spam ? 5 : 4);
    return !path.empty();
}

std::string HandleLearnRequest(CFilterApp& app, const std::string& line,
                               const std::function<void(const std::string&)>& progress) {
    bool spam = false;
    std::string path, error;
    if (!ParseLearnRequest(line, spam, path))
        return "error bad learn request";
    const long read = LearnFromMailAt(
        app, path, spam,
        [&](long done, long total) {
            progress("progress " + std::to_string(done) + " " + std::to_string(total));
            return true;
        },
        error);
    if (read <= 0) {
        std::string text = Text(app, kTextLearnFailed);
        Fill(text, path);
        return "error " + text + (error.empty() ? "" : " " + error);
    }
    std::string text = Text(app, kTextLearnDone);
    Fill(text, std::to_string(read), Text(app, spam ? kTextSpamKind : kTextHamKind));
    return "ok " + text;
}
