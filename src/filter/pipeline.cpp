// Judging one mailbox's batch: parse, judge, life time, history, repeats.
#include "app/core/filter_app.h"
#include "filter/levels.h"
#include "filter/message_preparer.h"
#include "filter/spam_scorer.h"
#include "platform/digest.h"

#include <string_view>
#include <unordered_map>

namespace {
constexpr const char* kLifeTimeText = kReasonLifeTime;

// The date text without its weekday ("Thu, "), read as midnight of that
// day. A date that does not parse never expires.
bool LifeTimeExceeded(const std::string& date, int lifeTimeDays, const LocalDateTime& now) {
    LocalDateTime mailDate;
    if (date.size() <= 5 || !ParseDateTime(std::string_view(date).substr(5), mailDate))
        return false;
    return CalendarSecondsBetween(mailDate, now) > static_cast<int64_t>(lifeTimeDays) * 86400;
}
} // namespace

std::string LearningKey(const std::string& sender, const std::string& subject,
                        const std::string& date, const std::string& repeatKey) {
    // The repeat key ends in the digest of the body cut.
    const std::string_view bodyDigest =
        std::string_view(repeatKey).substr(repeatKey.size() >= 16 ? repeatKey.size() - 16 : 0);
    return TextDigest(sender + '\n' + subject + '\n' + date + '\n' + std::string(bodyDigest));
}

std::vector<unsigned char> CFilterApp::JudgeBatch(std::vector<std::string> messages) {
    // Parsed here, one after another; the rules count spam scores as needed.
    std::vector<PreparedMessage> prepared;
    prepared.reserve(messages.size());
    for (std::string& text : messages)
        prepared.push_back(PrepareMessage(std::move(text), nullptr, DecodeMail.load()));
    return JudgePreparedBatch(std::move(prepared));
}

std::vector<unsigned char> CFilterApp::JudgePreparedBatch(std::vector<PreparedMessage> messages) {
    std::lock_guard guard(AppLock);
    const size_t count = messages.size();
    MessageVerdicts.assign(count, 1);
    MessageKeys.clear();
    MessageKeys.reserve(count);
    BatchHistoryEntries.clear();
    BatchHistoryEntries.reserve(count);
    UnansweredMessages.assign(count, false);
    BatchJudged.clear();
    BatchJudged.reserve(count);
    BatchReasons.assign(count, {});
    BatchLessons.assign(count, Lesson::None);
    std::vector<std::string> learningKeys(count);
    const LocalClock clock = Clock ? Clock : LocalClock(CurrentLocalTime);
    // A score counted in advance counts only if it was counted against
    // these very tables.
    const auto scorer = count > 0 ? CurrentSpamScorer(*this) : nullptr;
    for (size_t i = 0; i < count; ++i) {
        PreparedMessage& m = messages[i];
        VerdictReason.clear();
        MessageKeys.push_back(std::move(m.Key));

        SenderLeftUnanswered = false;
        VerdictLesson = Lesson::None;
        learningKeys[i] = LearningKey(m.Sender, m.Subject, m.Date, MessageKeys.back());
        MessageFields fields = RuleFieldsOf(m, scorer);
        int verdict = JudgeMessageFields(fields);
        BatchLessons[i] = VerdictLesson;
        // Nobody could answer the question about this sender: the mail stays,
        // and no later rule may delete it before the user has been asked.
        UnansweredMessages[i] = SenderLeftUnanswered;
        // Applies to every other mail, friends' included, after the rules.
        if (!SenderLeftUnanswered && LifeTimeExceeded(m.Date, MailLifeTime.load(), clock())) {
            verdict = 0;
            VerdictReason += kLifeTimeText;
        }
        MessageVerdicts[i] = static_cast<unsigned char>(verdict == 0 ? 0 : 1);

        BatchJudged.push_back({{}, m.Date, TextDigest(MessageKeys.back()), m.Sender, m.Subject});
        HistoryEntry entry;
        entry.Date = std::move(m.Date);
        entry.From = std::move(m.Sender);
        entry.Subject = std::move(m.Subject);
        entry.Status = MessageVerdicts[i];
        BatchReasons[i] = VerdictReason;
        entry.Reason = RecordedReason(VerdictReason);
        entry.Body = m.ReadDecoded ? std::move(m.Body) : std::move(fields.BodyText);
        BatchHistoryEntries.push_back(AppendHistoryEntry(std::move(entry)));
        WriteHistoryFile(HistoryWriteMode::Normal);
    }
    if (count > 0)
        MarkRepeatedMessages();
    BatchHistoryEntries.clear();
    if (!BatchDryRun)
        LearnFromBatch(messages, learningKeys);
    return MessageVerdicts;
}

// Only what the user decided teaches, and only as it finally stood: a
// friend's mail that a later rule (repeats, life time) deleted teaches nothing.
void CFilterApp::LearnFromBatch(const std::vector<PreparedMessage>& messages,
                                const std::vector<std::string>& keys) {
    CTokenClassifier& learned = LearnedScore.Classifier();
    for (size_t i = 0; i < messages.size() && i < BatchLessons.size(); ++i) {
        const Lesson lesson = BatchLessons[i];
        const bool kept = i < MessageVerdicts.size() && MessageVerdicts[i] != 0;
        if (messages[i].Tokens.empty() || lesson == Lesson::None ||
            (lesson == Lesson::Ham && !kept))
            continue;
        learned.Learn(messages[i].Tokens, lesson == Lesson::Spam, keys[i]);
    }
    BatchLessons.clear();
}

// The cuts, or with DecodeMail the decoded sender, subject and text; the
// score counted in advance only when counted against these very tables.
MessageFields CFilterApp::RuleFieldsOf(PreparedMessage& m,
                                       const std::shared_ptr<const CSpamScorer>& scorer) {
    MessageFields fields{m.Sender,
                         m.SenderDomain,
                         m.ReadDecoded ? std::string() : std::move(m.Body),
                         m.Size,
                         m.Subject,
                         std::move(m.AttachmentTypes),
                         m.ScoredBy && m.ScoredBy == scorer ? std::optional(m.SpamScore)
                                                            : std::nullopt,
                         std::move(m.BareAddress)};
    if (m.ReadDecoded) {
        // A mail without a readable From address keeps the cut sender.
        if (!m.ShownFrom.empty()) {
            fields.Sender = m.ShownFrom;
            fields.BareAddress = m.ShownFrom;
            const size_t at = m.ShownFrom.rfind('@');
            fields.SenderDomain =
                at == std::string::npos ? m.ShownFrom : m.ShownFrom.substr(at + 1);
        }
        fields.Subject = m.ShownSubject;
        fields.BodyText = std::move(m.ShownText);
    }
    fields.ShownSubject = m.ShownSubject;
    fields.FirstLines = m.FirstLines;
    fields.Tokens = &m.Tokens;
    return fields;
}

void CFilterApp::MarkRepeatedMessages() {
    std::lock_guard guard(AppLock);
    // Counting by hash gives what comparing every pair of keys gives.
    std::unordered_map<std::string_view, size_t> copies;
    copies.reserve(MessageKeys.size());
    for (const std::string& key : MessageKeys)
        ++copies[key];
    // Copies kept at earlier checks count too; only this batch's are deleted.
    std::unordered_map<std::string_view, size_t> keptCopies;
    for (const std::string& digest : RememberedKeyDigests)
        ++keptCopies[digest];
    const size_t allowed = FilterLevel.load() == 0 ? 3 : 1;

    bool marked = false;
    for (size_t i = 0; i < MessageKeys.size() && i < MessageVerdicts.size(); ++i) {
        size_t count = copies[MessageKeys[i]];
        if (!keptCopies.empty()) {
            const auto kept = keptCopies.find(TextDigest(MessageKeys[i]));
            count += kept == keptCopies.end() ? 0 : kept->second;
        }
        if (count <= allowed || (i < UnansweredMessages.size() && UnansweredMessages[i]))
            continue;
        MessageVerdicts[i] = 0;
        if (i >= BatchHistoryEntries.size() || !BatchHistoryEntries[i])
            continue;
        // Found by the entry itself: a "Clear History" during the batch
        // removes earlier entries and moves every position.
        HistoryEntry entry = *BatchHistoryEntries[i];
        entry.Status = 0;
        if (i < BatchReasons.size())
            BatchReasons[i] = kReasonRepeated;
        entry.Reason = RecordedReason(kReasonRepeated);
        marked |= ReplaceHistoryEntry(BatchHistoryEntries[i], std::move(entry));
    }
    // Written now rather than with the next batch, so that quitting before
    // the next check cannot lose the repeat reasons.
    if (marked)
        WriteHistoryFile(HistoryWriteMode::Normal);
}

std::string CFilterApp::RecordedReason(std::string reason) const {
    return BatchDryRun && !reason.empty() ? kDryRunReasonPrefix + reason : reason;
}

std::vector<unsigned char>
CFilterApp::ExpireRememberedMessages(const std::vector<JudgedMessage>& remembered) {
    std::lock_guard guard(AppLock);
    std::vector<unsigned char> verdicts(remembered.size(), 1);
    const LocalClock clock = Clock ? Clock : LocalClock(CurrentLocalTime);
    for (size_t i = 0; i < remembered.size(); ++i) {
        if (!LifeTimeExceeded(remembered[i].Date, MailLifeTime.load(), clock()))
            continue;
        verdicts[i] = 0;
        // Recorded as a judged mail is: the body was not fetched again.
        HistoryEntry entry;
        entry.Date = remembered[i].Date;
        entry.From = remembered[i].Sender;
        entry.Subject = remembered[i].Subject;
        entry.Status = 0;
        entry.Reason = RecordedReason(kLifeTimeText);
        AppendHistoryEntry(std::move(entry));
        WriteHistoryFile(HistoryWriteMode::Normal);
    }
    return verdicts;
}
