// The new-sender step: a sender on neither list is made a friend, blocked,
// ignored, decided by the learned score, or asked about, as NewSenderAction
// says. Runs on a session thread with AppLock held; the question blocks
// every other batch until answered.
#include "app/core/filter_app.h"
#include "filter/learned_texts.h"
#include "filter/levels.h"
#include "store/english_texts.h"
#include "store/localized_text.h"

namespace {
constexpr int kNewSenderPromptTextId = 17028;
} // namespace

std::string CFilterApp::GuessText(SpamGuess guess) {
    const int id = GuessTextId(guess);
    return GetLocalizedText(id, EnglishDefault(id));
}

int CFilterApp::AskAboutNewSender(const MessageFields& m) {
    const std::string& sender = m.Sender;
    const size_t at = sender.find('@');
    const std::string name = at == std::string::npos ? std::string() : sender.substr(0, at);
    // "*@domain" is how a list names a whole domain: a forged sender "*"
    // must not make every sender of that domain a friend or blocked. It is
    // never added; made a friend it stays untouched as if unanswered (no
    // later rule deletes it), blocked it is refused like an ignored sender.
    const bool wholeDomain = name == "*";
    auto add = [&](const char* list, int result) {
        if (!wholeDomain) {
            AppendSender(list, name, m.SenderDomain);
            return result;
        }
        LogLine("sender \"" + sender + "\" not added to " + list +
                    ": it would name the whole domain",
                "-");
        return result == kNewSenderFriend ? kNewSenderNoAnswer : result;
    };

    // Without tokens (a mail judged outside a check) nothing is guessed.
    CTokenClassifier& learned = LearnedScore.Classifier();
    const double score = m.Tokens ? learned.Score(*m.Tokens) : 0.5;
    const SpamGuess guess = m.Tokens ? learned.Guess(score) : SpamGuess::NotSure;
    switch (NewSenderAction.load()) {
    case 1:
        return add(kFriendListFileName, kNewSenderFriend);
    case 2:
        return add(kBlockedListFileName, kNewSenderRefused);
    case 0:
        break;
    case kNewSenderDecideByLearned:
        // The program's own decisions teach nothing: only the unsure are asked.
        if (guess == SpamGuess::ProbablySpam)
            return kNewSenderIgnored;
        if (guess == SpamGuess::ProbablyNotSpam)
            return add(kFriendListFileName, kNewSenderFriend);
        break;
    default:
        return kNewSenderIgnored;
    }

    NewSenderQuestion question;
    question.Prompt =
        sender + " " +
        GetLocalizedText(kNewSenderPromptTextId, EnglishDefault(kNewSenderPromptTextId));
    ExpandLineBreaks(question.Prompt);
    question.Sender = sender;
    question.Subject = m.ShownSubject;
    question.FirstLines = m.FirstLines;
    if (m.Tokens && learned.Trained())
        question.Guess = GuessText(guess);
    INewSenderPrompt* asker = NewSenderPrompt.load();
    // Without a window, or when the program quits while the question is
    // open, nothing is decided: the mail stays and is asked about next time.
    const NewSenderAnswer answer =
        asker ? asker->AskNewSender(question) : NewSenderAnswer::NoAnswer;
    switch (answer) {
    case NewSenderAnswer::Friend:
        VerdictLesson = Lesson::Ham; // if it is kept
        return add(kFriendListFileName, kNewSenderFriend);
    case NewSenderAnswer::Block:
        VerdictLesson = Lesson::Spam;
        return add(kBlockedListFileName, kNewSenderRefused);
    case NewSenderAnswer::Ignore:
        VerdictLesson = Lesson::Spam;
        return kNewSenderRefused;
    case NewSenderAnswer::NoAnswer:
        break;
    }
    return kNewSenderNoAnswer;
}
