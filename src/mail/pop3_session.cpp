#include "mail/pop3_session.h"

#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "platform/numconv.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

// The commands of the dialogue, each word exactly as sent ("Quit" as the
// program always has).
enum class Pop3Command { User, Pass, Capa, Stat, List, Uidl, Retr, Dele, Noop, Quit, Stls, Auth };
constexpr const char* kWords[] = {"USER", "PASS", "CAPA", "STAT", "LIST", "UIDL",
                                  "RETR", "DELE", "NOOP", "Quit", "STLS", "AUTH"};

// The longest AUTH line that may carry the initial response (RFC 5034);
// a longer one waits for the server's empty challenge.
constexpr size_t kMaxAuthLine = 255;

// Upper-cased lines of a CAPA reply after its status line, blanks trimmed.
std::vector<std::string> CapabilityLines(const std::string& capaReply) {
    std::istringstream lines(capaReply);
    std::string line;
    std::getline(lines, line); // the status line
    std::vector<std::string> found;
    while (std::getline(lines, line)) {
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.pop_back();
        std::transform(line.begin(), line.end(), line.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        found.push_back(std::move(line));
    }
    return found;
}

std::string Command(Pop3Command command) {
    return std::string(kWords[static_cast<size_t>(command)]) + "\r\n";
}

std::string Command(Pop3Command command, const std::string& argument) {
    return std::string(kWords[static_cast<size_t>(command)]) + ' ' + argument + "\r\n";
}

std::string Command(Pop3Command command, long long number) {
    return Command(command, Itoa(number));
}

} // namespace

bool OffersPipelining(const std::string& capaReply) {
    return OffersCapability(capaReply, "PIPELINING");
}

bool OffersCapability(const std::string& capaReply, std::string_view word) {
    const std::vector<std::string> lines = CapabilityLines(capaReply);
    return std::find(lines.begin(), lines.end(), word) != lines.end();
}

bool OffersSaslMechanism(const std::string& capaReply, std::string_view mechanism) {
    for (const std::string& line : CapabilityLines(capaReply)) {
        if (!line.starts_with("SASL "))
            continue;
        std::istringstream words(line.substr(5));
        for (std::string word; words >> word;)
            if (word == mechanism)
                return true;
    }
    return false;
}

int CPop3Session::Login() {
    std::string line;
    ReplyResult result = ReadStatusLine(line);
    if (result == ReplyResult::TimedOut) {
        RecordReplyFailure(result);
        return -1;
    }
    Pop3Status status = Pop3Status::Invalid;
    if (result == ReplyResult::Complete && Classify(line, status) != 1)
        return -1;
    if (result != ReplyResult::Complete || status != Pop3Status::Positive) {
        RecordStatus(kTextServerBusy);
        return -1;
    }
    Active = true;
    if (int secured = SecureTransport(); secured != 1)
        return secured;
    if (UsesOAuth)
        return LoginWithOAuth(oauth_, [this](const std::string& initialResponse) {
            return Authenticate(oauth_, initialResponse);
        });
    LoginPromptData prompt;
    for (bool first = true;; first = false) {
        int prepared = PrepareLoginAttempt(first, prompt);
        if (prepared != 1)
            return prepared;
        // A line break inside a value would smuggle in a command of its own.
        if (!IsSafeArgument(UserName) || !IsSafeArgument(Password))
            continue;
        if (SendCommand(Command(Pop3Command::User, UserName)) != 1)
            return -1;
        result = ReadStatusLine(line);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
        if (Classify(line, status) != 1)
            return -1;
        if (status != Pop3Status::Positive) {
            NoteLoginRefusal(line);
            continue;
        }
        if (SendCommand(Command(Pop3Command::Pass, Password)) != 1)
            return -1;
        result = ReadStatusLine(line);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
        if (Classify(line, status) != 1)
            return -1;
        if (status == Pop3Status::Positive)
            return 1;
        NoteLoginRefusal(line);
    }
}

int CPop3Session::Authenticate(OAuthMechanism mechanism, const std::string& initialResponse) {
    const std::string auth = Command(Pop3Command::Auth, MechanismName(mechanism));
    const bool inLine = auth.size() + 1 + initialResponse.size() <= kMaxAuthLine;
    std::string line;
    if (Ask(inLine ? Command(Pop3Command::Auth, std::string(MechanismName(mechanism)) + ' ' +
                                                    initialResponse)
                   : auth,
            line) != 1)
        return -1;
    auto isChallenge = [&] { return line.starts_with("+ ") || line.starts_with("+\r"); };
    if (!inLine && isChallenge() && Ask(initialResponse + "\r\n", line) != 1)
        return -1;
    if (isChallenge()) {
        // The server's error, as JSON; the mechanism wants one more
        // message from the client before the final -ERR.
        App.LogLine("the server refused the token: " + DecodeOAuthChallenge(line.substr(1)),
                    AccountName.empty() ? ServerName : AccountName);
        if (Ask(OAuthErrorAcknowledgement(mechanism) + "\r\n", line) != 1)
            return -1;
    }
    Pop3Status status;
    if (Classify(line, status) != 1)
        return -1;
    if (status == Pop3Status::Positive)
        return 1;
    NoteLoginRefusal(line);
    return 0;
}

int CPop3Session::ProtocolError(const char* text) {
    RecordStatus(text);
    ConnectionSpoiled = true;
    return -1;
}

int CPop3Session::Classify(const std::string& statusLine, Pop3Status& status) {
    status = ClassifyPop3Status(statusLine);
    return status == Pop3Status::Invalid ? ProtocolError(kTextNotPop3) : 1;
}

int CPop3Session::AskListing(const std::string& command, std::string& listing) {
    std::string line;
    Pop3Status status;
    if (Ask(command, line) != 1 || Classify(line, status) != 1)
        return -1;
    if (status != Pop3Status::Positive)
        return 0;
    ReplyResult result = ReadPop3Message(std::move(line), listing);
    if (result != ReplyResult::Complete) {
        RecordReplyFailure(result);
        return -1;
    }
    return 1;
}

int CPop3Session::ReadSizes() {
    sizes_.assign(static_cast<size_t>(MessageCount), -1);
    std::string listing;
    // Without a listing the RETR status lines are the only sizes.
    const int listed = AskListing(Command(Pop3Command::List), listing);
    if (listed != 1)
        return listed == 0 ? 1 : -1;
    return ParseScanListing(listing, sizes_) ? 1 : ProtocolError(kTextNotPop3);
}

bool CPop3Session::SizeAgrees(int number, const std::string& statusLine,
                              const std::string& text) const {
    const long long octets = Pop3MessageOctets(text);
    // A server ends a text that lacks a final line end with a CR LF of its
    // own, which its count does not hold. A server that counts a line end
    // as one byte disagrees on every message and deletes nothing: a text
    // cut short can match that count as well.
    auto agrees = [&](long long given) {
        return given < 0 || octets == given || octets == given + 2;
    };
    const size_t index = static_cast<size_t>(number) - 1;
    return octets >= 0 && agrees(index < sizes_.size() ? sizes_[index] : -1) &&
           agrees(ParseRetrOctets(statusLine));
}

int CPop3Session::ReadCapabilities(bool& offersStls) {
    std::string list;
    pipelining_ = offersStls = false;
    oauth_ = OAuthMechanism::None;
    // A server that does not know CAPA gets one command at a time.
    const int listed = AskListing(Command(Pop3Command::Capa), list);
    if (listed != 1)
        return listed == 0 ? 1 : -1;
    pipelining_ = OffersPipelining(list);
    offersStls = OffersCapability(list, "STLS");
    oauth_ = ChooseOAuthMechanism(OffersSaslMechanism(list, "OAUTHBEARER"),
                                  OffersSaslMechanism(list, "XOAUTH2"));
    return 1;
}

int CPop3Session::SecureTransport() {
    const bool tlsBefore = IsTls();
    bool offersStls = false;
    if (ReadCapabilities(offersStls) != 1)
        return -1;
    const int secured = SecureBeforeLogin(!tlsBefore && offersStls, [this] {
        std::string line;
        return Ask(Command(Pop3Command::Stls), line) == 1 &&
               ClassifyPop3Status(line) == Pop3Status::Positive;
    });
    if (secured != 1 || tlsBefore || !IsTls())
        return secured;
    // What the server offered before TLS may have been tampered with: only
    // the capabilities it lists now count.
    return ReadCapabilities(offersStls);
}

int CPop3Session::LoginAndCount() {
    pipelining_ = false;
    retrSent_ = 0;
    accounted_ = 0;
    MessageCount = 0; // a refused count leaves no count of an earlier check
    if (Login() != 1)
        return -1;
    std::string line;
    if (SendCommand(Command(Pop3Command::Stat)) != 1)
        return -1;
    ReplyResult result = ReadStatusLine(line);
    if (result != ReplyResult::Complete) {
        // A dead or silent connection only multiplies the wait if asked
        // again: the session ends at once.
        if (result == ReplyResult::Closed || result == ReplyResult::Failed) {
            RecordStatus(kTextServerRefuses);
            ConnectionSpoiled = true;
        } else {
            RecordReplyFailure(result);
        }
        return -1;
    }
    Pop3Status status;
    if (Classify(line, status) != 1)
        return -1;
    if (status != Pop3Status::Positive) {
        SendCommand(Command(Pop3Command::Quit));
        RecordStatus(kTextNoNewMails);
        Active = false;
        return 1;
    }
    // "+OK count size": the count is the word after "+OK ".
    std::string rest = line.size() > 4 ? line.substr(4) : std::string();
    int count = Atoi(rest.substr(0, rest.find(' ')));
    if (count < 0 || count > kMaxMessageCount) {
        RecordReplyFailure(ReplyResult::TooLarge);
        return -1;
    }
    if (count == 0) {
        SendCommand(Command(Pop3Command::Quit));
        RecordStatus(kTextNoNewMails);
        Active = false;
        return 1;
    }
    MessageCount = count;
    if (ReadSizes() != 1)
        return -1;
    if (!JudgedMemoryPath.empty())
        return PlanByUniqueId();
    PlanWholeMailbox();
    return 1;
}

int CPop3Session::PlanByUniqueId() {
    std::string listing;
    const int listed = AskListing(Command(Pop3Command::Uidl), listing);
    if (listed < 0)
        return -1;
    // Without unique ids every message is judged, as without a memory.
    if (listed == 0) {
        PlanWholeMailbox();
        return 1;
    }
    std::vector<std::string> ids(static_cast<size_t>(MessageCount));
    if (!ParseUniqueIdListing(listing, ids))
        return ProtocolError(kTextNotPop3);
    // An id given twice could make one message pass for another.
    if (HasDuplicateIds(ids)) {
        App.LogLine("the server gives one unique id to several messages; every message is judged",
                    AccountName.empty() ? ServerName : AccountName);
        PlanWholeMailbox();
        return 1;
    }
    PlanFromMemory({}, std::move(ids));
    if (BatchSize == 0)
        RecordStatus(kTextNoNewMails);
    return 1;
}

int CPop3Session::ReadStatus(std::string& statusLine) {
    ReplyResult result = ReadStatusLine(statusLine);
    if (result == ReplyResult::Complete)
        return 1;
    RecordReplyFailure(result);
    return -1;
}

int CPop3Session::Ask(const std::string& command, std::string& statusLine) {
    if (SendCommand(command) != 1)
        return -1;
    return ReadStatus(statusLine);
}

int CPop3Session::RepeatUntilPositive(const std::string& command, std::string& statusLine) {
    // Only a refusal is asked again; an unknown line has already ended it.
    Pop3Status status;
    for (int repeat = 0;; ++repeat) {
        if (Classify(statusLine, status) != 1)
            return -1;
        if (status == Pop3Status::Positive)
            return 1;
        if (repeat >= MaxCommandRepeats || Ask(command, statusLine) != 1)
            return -1;
    }
}

int CPop3Session::Depth() const {
    // At most this many: the commands must stay a few kilobytes.
    return std::clamp(PipelineDepth, 1, 256);
}

int CPop3Session::ReadStatusAhead(size_t position, std::string& statusLine) {
    const size_t last =
        std::min(static_cast<size_t>(BatchSize), position + static_cast<size_t>(Depth()));
    if (retrSent_ < last) {
        std::string commands;
        for (size_t p = std::max(retrSent_, position); p < last; ++p)
            commands += Command(Pop3Command::Retr, NumberOf(p));
        if (SendCommand(commands) != 1)
            return -1;
        retrSent_ = last;
    }
    return ReadStatus(statusLine);
}

int CPop3Session::DropRepliesAfter(size_t position) {
    for (size_t p = position + 1; p < retrSent_; ++p) {
        std::string line;
        Pop3Status status;
        if (ReadStatus(line) != 1 || Classify(line, status) != 1)
            return -1;
        if (status != Pop3Status::Positive)
            continue;
        std::string dropped;
        ReplyResult result = ReadPop3Message(std::move(line), dropped);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
    }
    retrSent_ = position + 1;
    return 1;
}

int CPop3Session::FetchMessage() {
    const size_t position = FetchedCount();
    const int number = NumberOf(position);
    const std::string command = Command(Pop3Command::Retr, number);
    std::string statusLine;
    if ((pipelining_ ? ReadStatusAhead(position, statusLine) : Ask(command, statusLine)) != 1)
        return -1;
    // A refused message while later ones are on their way: their replies are
    // read first, and from here on the session asks one command at a time,
    // exactly as with a server that does not pipeline.
    Pop3Status status;
    if (Classify(statusLine, status) != 1)
        return -1;
    if (pipelining_ && status != Pop3Status::Positive) {
        if (DropRepliesAfter(position) != 1)
            return -1;
        pipelining_ = false;
    }
    if (RepeatUntilPositive(command, statusLine) != 1) {
        if (!ConnectionSpoiled)
            RecordStatus(kTextFetchFailed);
        return -1;
    }
    std::string text;
    ReplyResult result = ReadPop3Message(statusLine, text);
    if (result != ReplyResult::Complete) {
        RecordReplyFailure(result);
        return -1;
    }
    // A text of the wrong size may hold the next message's start, or lack
    // its own end: every later reply would be taken for the wrong message.
    if (!SizeAgrees(number, statusLine, text))
        return ProtocolError(kTextSizeMismatch);
    if (UsingMemory())
        NoteCopyFacts(position, {ServerIds().at(ServerIndexOf(position)), "", ""});
    StoreFetchedMessage(position, std::move(text));
    ++accounted_;
    return 1;
}

bool CPop3Session::MessageOfReply(const std::string& reply, std::string& message) const {
    message = Pop3MessageContent(reply);
    return !message.empty() || reply.find("\r\n.\r\n") != std::string::npos;
}

int CPop3Session::FetchForCopy(size_t serverIndex, std::string& reply, CopyFacts& facts) {
    const int number = static_cast<int>(serverIndex) + 1;
    std::string statusLine;
    if (Ask(Command(Pop3Command::Retr, number), statusLine) != 1)
        return -1;
    Pop3Status status;
    if (Classify(statusLine, status) != 1 || status != Pop3Status::Positive)
        return -1;
    ReplyResult result = ReadPop3Message(statusLine, reply);
    if (result != ReplyResult::Complete) {
        RecordReplyFailure(result);
        return -1;
    }
    if (!SizeAgrees(number, statusLine, reply))
        return ProtocolError(kTextSizeMismatch);
    facts = {ServerIds().at(serverIndex), "", ""};
    return 1;
}

int CPop3Session::DeleteEach(const std::vector<int>& numbers) {
    for (int number : numbers) {
        std::string statusLine;
        if (Ask(Command(Pop3Command::Dele, number), statusLine) != 1 ||
            RepeatUntilPositive(Command(Pop3Command::Dele, number), statusLine) != 1)
            return -1;
    }
    return 1;
}

int CPop3Session::DeleteAhead(const std::vector<int>& numbers) {
    const size_t depth = static_cast<size_t>(Depth());
    std::vector<std::pair<int, std::string>> refused;
    size_t sent = 0;
    for (size_t k = 0; k < numbers.size(); ++k) {
        const size_t last = std::min(numbers.size(), k + depth);
        if (sent < last) {
            std::string commands;
            for (; sent < last; ++sent)
                commands += Command(Pop3Command::Dele, numbers[sent]);
            if (SendCommand(commands) != 1)
                return -1;
        }
        std::string statusLine;
        Pop3Status status;
        if (ReadStatus(statusLine) != 1 || Classify(statusLine, status) != 1)
            return -1;
        if (status != Pop3Status::Positive)
            refused.emplace_back(numbers[k], std::move(statusLine));
    }
    // Every reply is in: the refused ones are asked again one at a time.
    for (auto& [number, statusLine] : refused)
        if (RepeatUntilPositive(Command(Pop3Command::Dele, number), statusLine) != 1)
            return -1;
    return 1;
}

void CPop3Session::DeleteMarkedAndQuit() {
    if (ConnectionSpoiled)
        return;
    // Verdicts that do not match the batch delete nothing, and neither does a
    // batch with a text that was not checked whole.
    if (accounted_ == static_cast<size_t>(BatchSize)) {
        std::vector<int> condemned;
        for (size_t index : CondemnedServerIndexes())
            condemned.push_back(static_cast<int>(index) + 1);
        if ((pipelining_ ? DeleteAhead(condemned) : DeleteEach(condemned)) != 1) {
            // Without "Quit" the server forgets every mark of this
            // session: nothing is deleted, the next check tries again.
            if (!ConnectionSpoiled)
                RecordStatus(kTextUnknownFailure);
            ConnectionSpoiled = true;
            return;
        }
    }
    if (SendCommand(Command(Pop3Command::Quit)) != 1)
        return;
    Active = false;
    // The server's answer is not examined; waiting for it lets the server
    // finish its deletions before the session counts as ended.
    std::string ignored;
    ReadStatusLine(ignored);
}

void CPop3Session::KeepAlive() {
    if (SendCommand(Command(Pop3Command::Noop)) != 1)
        return;
    std::string line;
    ReplyResult result = ReadStatusLine(line);
    Pop3Status status;
    if (result != ReplyResult::Complete)
        RecordReplyFailure(result);
    else
        Classify(line, status);
}
