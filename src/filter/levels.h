#pragma once
// The five filter levels. Every level first sorts the sender by the sender
// lists (blocked, friend, new), then applies its content rules; the first
// rule that fires deletes the mail and leaves its reason code in
// CFilterApp::VerdictReason. Results: 1 leave on the server, 0 delete.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CFilterApp;
class CSpamScorer;

// Reason codes: text ids whose texts the history viewer shows.
inline constexpr const char* kReasonBlocked = "23003";
inline constexpr const char* kReasonNotFriend = "23004";
inline constexpr const char* kReasonForbiddenType = "23005";
inline constexpr const char* kReasonSpam = "23006";
inline constexpr const char* kReasonTooLarge = "23007";
inline constexpr const char* kReasonExecutable = "23008";
inline constexpr const char* kReasonRepeated = "23009";
inline constexpr const char* kReasonLifeTime = " Mail has exceeded its life time at the server\n";
// Put before the reason of a mail a dry run would have deleted. An older
// reader shows "Would be deleted" as the reason.
inline constexpr const char* kDryRunReasonPrefix = "23010 ";

// Results of CFilterApp::AskAboutNewSender.
inline constexpr int kNewSenderFriend = 1;   // now a friend: on to the content rules
inline constexpr int kNewSenderNoAnswer = 0; // nobody answered: keep the mail, change nothing
inline constexpr int kNewSenderRefused = -1; // blocked, or the user chose Ignore
inline constexpr int kNewSenderIgnored = -2; // the setting says ignore new senders

// New-sender settings (10005) beyond ask (0), friend (1), block (2), ignore (3).
inline constexpr int kNewSenderDecideByLearned = 4;

// The parsed fields the rules look at.
struct MessageFields {
    std::string Sender;
    std::string SenderDomain;
    std::string BodyText;
    int Size = 0;
    std::string Subject;
    std::string AttachmentTypes;
    // The spam score, when it was counted in advance against the current
    // tables; otherwise the rules count it if they need it.
    std::optional<int64_t> SpamScore;
    // The address the From line names (BareSenderAddress); empty: taken
    // from Sender.
    std::string BareAddress = {};
    // The mail as its reader shows it, for the question about a new sender
    // and the learned score; no tokens: nothing is learned or guessed.
    std::string ShownSubject = {};
    std::string FirstLines = {};
    const std::vector<uint64_t>* Tokens = nullptr;
};

// What a verdict teaches the learned score: only the user's own decisions
// (friends' kept mail is ham; blocked senders' and refused new senders' mail
// is spam), never the program's.
enum class Lesson : unsigned char { None, Spam, Ham };

int ApplyVeryHighRules(CFilterApp& app, const MessageFields& message);
int ApplyHighRules(CFilterApp& app, const MessageFields& message);
int ApplyNormalRules(CFilterApp& app, const MessageFields& message);
int ApplyLowRules(CFilterApp& app, const MessageFields& message);
int ApplyVeryLowRules(CFilterApp& app, const MessageFields& message);

// true when a three-character group of `types` (walked from position 0; a
// shorter last group when the length is no multiple of three) equals one of
// `forbidden`, exactly.
bool HasAttachmentType(const std::string& types, const std::vector<std::string>& forbidden);

// The scorer of the app's current spam tables (shared while they are unchanged).
std::shared_ptr<const CSpamScorer> CurrentSpamScorer(const CFilterApp& app);

// The spam score of a body and subject against the app's spam tables.
int64_t ComputeSpamScore(const CFilterApp& app, const std::string& body,
                         const std::string& subject);
