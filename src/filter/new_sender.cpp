// The new-sender step: a sender on neither list is made a friend, blocked,
// ignored, or asked about, as NewSenderAction says. Runs on a session thread
// with AppLock held; the question blocks every other batch until answered.
#include "app/core/filter_app.h"
#include "filter/levels.h"
#include "store/english_texts.h"
#include "store/localized_text.h"

namespace {
constexpr int kNewSenderPromptTextId = 17028;
} // namespace

int CFilterApp::AskAboutNewSender(std::string sender, std::string senderDomain) {
    const size_t at = sender.find('@');
    const std::string name = at == std::string::npos ? std::string() : sender.substr(0, at);
    // "*@domain" is how a list names a whole domain: a forged sender "*"
    // must not make every sender of that domain a friend or blocked. It is
    // never added; made a friend it stays untouched as if unanswered (no
    // later rule deletes it), blocked it is refused like an ignored sender.
    const bool wholeDomain = name == "*";
    auto add = [&](const char* list, int result) {
        if (!wholeDomain) {
            AppendSender(list, name, senderDomain);
            return result;
        }
        LogLine("sender \"" + sender + "\" not added to " + list +
                    ": it would name the whole domain",
                "-");
        return result == kNewSenderFriend ? kNewSenderNoAnswer : result;
    };

    switch (NewSenderAction.load()) {
    case 1:
        return add(kFriendListFileName, kNewSenderFriend);
    case 2:
        return add(kBlockedListFileName, kNewSenderRefused);
    case 0:
        break;
    default:
        return kNewSenderIgnored;
    }

    std::string prompt =
        sender + " " +
        GetLocalizedText(kNewSenderPromptTextId, EnglishDefault(kNewSenderPromptTextId));
    ExpandLineBreaks(prompt);
    INewSenderPrompt* asker = NewSenderPrompt.load();
    // Without a window, or when the program quits while the question is
    // open, nothing is decided: the mail stays and is asked about next time.
    const NewSenderAnswer answer = asker ? asker->AskNewSender(prompt) : NewSenderAnswer::NoAnswer;
    switch (answer) {
    case NewSenderAnswer::Friend:
        return add(kFriendListFileName, kNewSenderFriend);
    case NewSenderAnswer::Block:
        return add(kBlockedListFileName, kNewSenderRefused);
    case NewSenderAnswer::Ignore:
        return kNewSenderRefused;
    case NewSenderAnswer::NoAnswer:
        break;
    }
    return kNewSenderNoAnswer;
}
