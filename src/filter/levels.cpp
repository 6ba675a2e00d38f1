#include "filter/levels.h"

#include "app/core/filter_app.h"
#include "filter/mail_message.h"
#include "filter/spam_scorer.h"

#include <memory>
#include <mutex>

namespace {
enum class AttachmentRule { None, ForbiddenList, Executables };

struct LevelRules {
    bool AskNewSender; // Very High deletes new senders without asking
    AttachmentRule Attachments;
    int SpamThreshold; // percent of SpamDegreeTotal
    bool SizeRule;     // Size > MaxAttachmentSize deletes
};

constexpr LevelRules kVeryHigh{false, AttachmentRule::ForbiddenList, 20, true};
constexpr LevelRules kHigh{true, AttachmentRule::Executables, 40, false};
constexpr LevelRules kNormal{true, AttachmentRule::Executables, 60, false};
constexpr LevelRules kLow{true, AttachmentRule::Executables, 80, false};
constexpr LevelRules kVeryLow{true, AttachmentRule::None, 100, false};

const std::vector<std::string> kExecutableTypes = {"exe", "scr"};

int Delete(CFilterApp& app, const char* reason) {
    app.VerdictReason = reason;
    return 0;
}

// The automaton of the current tables, rebuilt only when they change (they
// are fixed for a run; tests swap them).
std::shared_ptr<const CSpamScorer> ScorerFor(const std::vector<std::string>& expressions,
                                             const std::vector<int>& degrees, bool foldCase) {
    static std::mutex lock;
    static std::shared_ptr<const CSpamScorer> cached;
    std::lock_guard guard(lock);
    if (!cached || cached->Expressions() != expressions || cached->Degrees() != degrees ||
        cached->FoldsCase() != foldCase)
        cached = std::make_shared<const CSpamScorer>(expressions, degrees, foldCase);
    return cached;
}

// The sender as cut, or (with MatchBareAddress) its bare address with the
// domain's case ignored, is on the list or its domain is.
bool OnList(const CSenderSet& addresses, const CSenderSet& domains, const MessageFields& m,
            const std::string& bare) {
    if (addresses.Contains(m.Sender) || domains.Contains(m.SenderDomain))
        return true;
    const size_t at = bare.rfind('@');
    return at != std::string::npos &&
           (addresses.ContainsFolded(bare) || domains.ContainsFolded(bare.substr(at + 1)));
}

int ApplyLevel(CFilterApp& app, const MessageFields& m, const LevelRules& rules) {
    const std::string bare =
        !app.MatchBareAddress.load()
            ? std::string()
            : FoldSenderDomain(m.BareAddress.empty() ? BareSenderAddress(m.Sender) : m.BareAddress);
    // Blocked beats friend.
    if (OnList(app.BlockedAddresses, app.BlockedDomains, m, bare)) {
        app.VerdictLesson = Lesson::Spam;
        return Delete(app, kReasonBlocked);
    }
    const bool friendSender = OnList(app.FriendAddresses, app.FriendDomains, m, bare);
    if (friendSender)
        app.VerdictLesson = Lesson::Ham; // if it is kept
    if (!friendSender) {
        if (!rules.AskNewSender)
            return Delete(app, kReasonNotFriend);
        const int answer = app.AskAboutNewSender(m);
        if (answer == kNewSenderNoAnswer) {
            app.SenderLeftUnanswered = true;
            return 1; // stays untouched and is asked about at the next check
        }
        if (answer != kNewSenderFriend)
            return Delete(app, kReasonNotFriend);
    }

    switch (rules.Attachments) {
    case AttachmentRule::ForbiddenList:
        if (HasAttachmentType(m.AttachmentTypes, *app.ForbiddenExtensions.Get()))
            return Delete(app, kReasonForbiddenType);
        break;
    case AttachmentRule::Executables:
        if (HasAttachmentType(m.AttachmentTypes, kExecutableTypes))
            return Delete(app, kReasonExecutable);
        break;
    case AttachmentRule::None:
        break;
    }

    if (app.SpamDegreeTotal > 0 &&
        SpamPercentageReaches(m.SpamScore ? *m.SpamScore
                                          : ComputeSpamScore(app, m.BodyText, m.Subject),
                              app.SpamDegreeTotal, rules.SpamThreshold))
        return Delete(app, kReasonSpam);

    if (rules.SizeRule && m.Size > app.MaxAttachmentSize.load())
        return Delete(app, kReasonTooLarge);
    return 1;
}
} // namespace

bool HasAttachmentType(const std::string& types, const std::vector<std::string>& forbidden) {
    for (size_t at = 0; at < types.size(); at += 3) {
        const std::string group = types.substr(at, 3);
        for (const std::string& entry : forbidden)
            if (group == entry)
                return true;
    }
    return false;
}

std::shared_ptr<const CSpamScorer> CurrentSpamScorer(const CFilterApp& app) {
    // Read decoded, the expressions match whatever the case.
    return ScorerFor(app.SpamExpressionList, app.SpamDegreeList, app.DecodeMail.load());
}

int64_t ComputeSpamScore(const CFilterApp& app, const std::string& body,
                         const std::string& subject) {
    return CurrentSpamScorer(app)->Score(body, subject);
}

int ApplyVeryHighRules(CFilterApp& app, const MessageFields& m) {
    return ApplyLevel(app, m, kVeryHigh);
}
int ApplyHighRules(CFilterApp& app, const MessageFields& m) {
    return ApplyLevel(app, m, kHigh);
}
int ApplyNormalRules(CFilterApp& app, const MessageFields& m) {
    return ApplyLevel(app, m, kNormal);
}
int ApplyLowRules(CFilterApp& app, const MessageFields& m) {
    return ApplyLevel(app, m, kLow);
}
int ApplyVeryLowRules(CFilterApp& app, const MessageFields& m) {
    return ApplyLevel(app, m, kVeryLow);
}

int CFilterApp::JudgeMessage(std::string sender, std::string senderDomain, std::string bodyText,
                             int size, std::string subject, std::string attachmentTypes) {
    return JudgeMessageFields({std::move(sender),
                               std::move(senderDomain),
                               std::move(bodyText),
                               size,
                               std::move(subject),
                               std::move(attachmentTypes),
                               {}});
}

int CFilterApp::JudgeMessageFields(const MessageFields& message) {
    switch (FilterLevel.load()) {
    case 4:
        return ApplyVeryHighRules(*this, message);
    case 3:
        return ApplyHighRules(*this, message);
    case 2:
        return ApplyNormalRules(*this, message);
    case 1:
        return ApplyLowRules(*this, message);
    default: // 0, and values outside 0..4
        return ApplyVeryLowRules(*this, message);
    }
}
