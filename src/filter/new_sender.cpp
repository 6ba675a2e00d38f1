// The new-sender step: a sender on neither list is made a friend, blocked,
// ignored, or asked about, as NewSenderAction says. Runs on a session thread
// with AppLock held; the question blocks every other batch until answered.
#include "app/core/filter_app.h"
#include "filter/levels.h"
#include "store/localized_text.h"

namespace {
constexpr int kNewSenderPromptTextId = 17028;
constexpr const char* kNewSenderPromptDefault =
    " has sent you an e-mail, if you want to add him to your friend list\n"
    "press Friend, if you want to add him to your block list press Block. \n"
    "If you want to igonre him press Ignore.";
} // namespace

int CFilterApp::AskAboutNewSender(std::string sender, std::string senderDomain) {
    const size_t at = sender.find('@');
    const std::string name = at == std::string::npos ? std::string() : sender.substr(0, at);

    switch (NewSenderAction.load()) {
    case 1:
        AppendSender(kFriendListFileName, name, senderDomain);
        return kNewSenderFriend;
    case 2:
        AppendSender(kBlockedListFileName, name, senderDomain);
        return kNewSenderRefused;
    case 0:
        break;
    default:
        return kNewSenderIgnored;
    }

    std::string prompt =
        sender + " " + GetLocalizedText(kNewSenderPromptTextId, kNewSenderPromptDefault);
    ExpandLineBreaks(prompt);
    INewSenderPrompt* asker = NewSenderPrompt.load();
    // Without a window, or when the program quits while the question is
    // open, nothing is decided: the mail stays and is asked about next time.
    const NewSenderAnswer answer = asker ? asker->AskNewSender(prompt) : NewSenderAnswer::NoAnswer;
    switch (answer) {
    case NewSenderAnswer::Friend:
        AppendSender(kFriendListFileName, name, senderDomain);
        return kNewSenderFriend;
    case NewSenderAnswer::Block:
        AppendSender(kBlockedListFileName, name, senderDomain);
        return kNewSenderRefused;
    case NewSenderAnswer::Ignore:
        return kNewSenderRefused;
    case NewSenderAnswer::NoAnswer:
        break;
    }
    return kNewSenderNoAnswer;
}
