#include "mail/imap_session.h"

#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "mail/sequence_set.h"
#include "platform/numconv.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <system_error>

namespace {

struct CommandSpec {
    ImapCommand Command;
    const char* Tag;
    const char* Word;
};

// Every command of one kind always carries the same tag.
constexpr CommandSpec kCommands[] = {
    {ImapCommand::Login, "a001", "LOGIN"},
    {ImapCommand::Noop, "a002", "NOOP"},
    {ImapCommand::Store, "A003", "STORE"},
    {ImapCommand::UidStore, "A003", "UID STORE"},
    {ImapCommand::Capability, "a004", "CAPABILITY"},
    {ImapCommand::UidExpunge, "a005", "UID EXPUNGE"},
    {ImapCommand::Logout, "a006", "LOGOUT"},
    {ImapCommand::UidSearch, "a007", "UID SEARCH"},
    {ImapCommand::Select, "A142", "SELECT"},
    {ImapCommand::Fetch, "A654", "FETCH"},
    {ImapCommand::UidFetch, "A654", "UID FETCH"},
    {ImapCommand::Close, "A341", "CLOSE"},
    {ImapCommand::StartTls, "a008", "STARTTLS"},
    {ImapCommand::Authenticate, "a009", "AUTHENTICATE"},
};

// A server that challenges more often than the mechanisms ever do is not
// followed further.
constexpr int kMaxAuthenticateLines = 16;

constexpr bool TableInOrder() {
    for (size_t i = 0; i < std::size(kCommands); ++i)
        if (static_cast<size_t>(kCommands[i].Command) != i)
            return false;
    return true;
}
static_assert(TableInOrder(), "kCommands is indexed by ImapCommand");

const CommandSpec& Spec(ImapCommand command) {
    return kCommands[static_cast<size_t>(command)];
}

// Judging reads a body as it is, and must leave \Seen as it was.
// INTERNALDATE: a message restored from the recycle bin gets its date back.
constexpr const char* kFetchItems = " (FLAGS INTERNALDATE BODY.PEEK[])";
constexpr const char* kFetchItemsWithUid = " (UID FLAGS INTERNALDATE BODY.PEEK[])";

} // namespace

const char* ImapTag(ImapCommand command) {
    return Spec(command).Tag;
}

std::string ImapCommandLine(ImapCommand command, const std::string& arguments) {
    const CommandSpec& spec = Spec(command);
    return std::string(spec.Tag) + ' ' + spec.Word + (arguments.empty() ? "" : " ") + arguments +
           "\r\n";
}

long ParseExistsCount(const std::string& response) {
    size_t exists = response.find("EXISTS");
    if (exists == std::string::npos)
        return -1;
    // From the last "*" before the first "EXISTS": other untagged lines
    // before the EXISTS line do not disturb the count.
    std::string head = response.substr(0, exists);
    size_t star = head.rfind('*');
    std::string number;
    for (char c : head.substr(star == std::string::npos ? 0 : star))
        if (c != ' ')
            number += c;
    int count = Atoi(number.empty() ? std::string_view() : std::string_view(number).substr(1));
    // A negative count is as absurd as a huge one, not a missing one.
    return count < 0 ? kMaxMessageCount + 1L : count;
}

std::vector<std::string> ImapSetCommands(ImapCommand command, const std::vector<long>& numbers,
                                         const std::string& tail) {
    const CommandSpec& spec = Spec(command);
    const std::string head = std::string(spec.Tag) + ' ' + spec.Word + ' ';
    const std::string end = tail + "\r\n";
    std::vector<std::string> commands;
    for (const std::string& set :
         BuildSequenceSets(numbers, kMaxStoreLine - head.size() - end.size()))
        commands.push_back(head + set + end);
    return commands;
}

std::vector<std::string> MarkDeletedCommands(const std::vector<unsigned char>& verdicts) {
    std::vector<long> condemned;
    for (size_t i = 0; i < verdicts.size(); ++i)
        if (verdicts[i] == 0)
            condemned.push_back(static_cast<long>(i) + 1);
    return ImapSetCommands(ImapCommand::Store, condemned, " FLAGS (\\Deleted)");
}

ImapCapabilities ReadCapabilities(std::string_view response) {
    ImapCapabilities found;
    auto upper = [](std::string_view text) {
        std::string result(text);
        for (char& c : result)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return result;
    };
    for (size_t at = 0; at < response.size();) {
        size_t end = std::min(response.find('\n', at), response.size());
        std::string line = upper(response.substr(at, end - at));
        at = end + 1;
        size_t list = line.starts_with("* CAPABILITY ") ? 13 : line.find("[CAPABILITY ");
        if (list == std::string::npos)
            continue;
        list += line[list] == '[' ? 12 : 0;
        found.Listed = true;
        std::istringstream words(line.substr(list, line.find_first_of("]\r", list) - list));
        for (std::string word; words >> word;) {
            found.UidPlus |= word == "UIDPLUS";
            found.StartTls |= word == "STARTTLS";
            found.OAuthBearer |= word == "AUTH=OAUTHBEARER";
            found.XOAuth2 |= word == "AUTH=XOAUTH2";
            found.SaslIr |= word == "SASL-IR";
        }
    }
    return found;
}

CImapSession::~CImapSession() {
    StopKeepAlive();
}

CImapResponseCollector CImapSession::Reply(ImapCommand command) const {
    return CImapResponseCollector(ImapTag(command), Limits);
}

ReplyResult CImapSession::Exchange(const std::string& commandLine, CImapResponseCollector& reply) {
    if (SendCommand(commandLine) != 1)
        return ReplyResult::Failed;
    if (selected_)
        reply.TrackFlags(&flags_);
    ReplyResult result = ReadImapResponse(reply);
    if (result != ReplyResult::Complete) {
        RecordReplyFailure(result);
        return result;
    }
    if (!selected_)
        return result;
    if (reply.SawExpunge())
        sawExpunge_ = true;
    largestExists_ = std::max(largestExists_, reply.LargestExists());
    // New UIDs: every UID this session holds may name another message now.
    if (!reply.UidValidity().empty() && reply.UidValidity() != selectedValidity_) {
        RecordStatus(kTextMailboxChanged);
        ConnectionSpoiled = true;
        return ReplyResult::Failed;
    }
    return result;
}

ReplyResult CImapSession::Exchange(ImapCommand command, const std::string& arguments,
                                   CImapResponseCollector& reply) {
    return Exchange(ImapCommandLine(command, arguments), reply);
}

int CImapSession::Login() {
    std::string line;
    ReplyResult result = ReadStatusLine(line);
    if (result == ReplyResult::TimedOut) {
        RecordReplyFailure(result);
        return -1;
    }
    if (result != ReplyResult::Complete || line.compare(0, 4, "* OK") != 0) {
        RecordStatus(kTextServerBusy);
        return -1;
    }
    Active = true;
    if (int secured = SecureTransport(line); secured != 1)
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
        if (!IsSafeArgument(UserName) || !IsSafeArgument(Password))
            continue;
        CImapResponseCollector reply = Reply(ImapCommand::Login);
        if (Exchange(ImapCommand::Login, UserName + " " + Password, reply) != ReplyResult::Complete)
            return -1;
        if (reply.Status() == TaggedStatus::Ok) {
            // The capabilities after login are the ones that count.
            NoteCapabilities(ReadCapabilities(reply.Text()));
            return 1;
        }
        NoteLoginRefusal(reply.Text());
    }
}

void CImapSession::NoteCapabilities(const ImapCapabilities& offered) {
    if (!offered.Listed)
        return;
    capabilitiesKnown_ = true;
    uidPlus_ = offered.UidPlus;
}

int CImapSession::Authenticate(OAuthMechanism mechanism, const std::string& initialResponse) {
    const std::string tag = std::string(ImapTag(ImapCommand::Authenticate)) + ' ';
    bool sentResponse = saslIr_, acknowledged = false;
    if (SendCommand(ImapCommandLine(ImapCommand::Authenticate,
                                    std::string(MechanismName(mechanism)) +
                                        (saslIr_ ? " " + initialResponse : ""))) != 1)
        return -1;
    std::string untagged;
    for (int lines = 0; lines < kMaxAuthenticateLines; ++lines) {
        std::string line;
        const ReplyResult result = ReadStatusLine(line);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
        if (line.starts_with("+ ") || line.starts_with("+\r")) {
            if (acknowledged)
                break;
            std::string answer = initialResponse;
            if (sentResponse) {
                // The server's error, as JSON; the mechanism wants one more
                // message from the client before the tagged NO.
                App.LogLine("the server refused the token: " + DecodeOAuthChallenge(line.substr(1)),
                            AccountName.empty() ? ServerName : AccountName);
                answer = OAuthErrorAcknowledgement(mechanism);
                acknowledged = true;
            }
            sentResponse = true;
            if (SendCommand(answer + "\r\n") != 1)
                return -1;
            continue;
        }
        if (line.starts_with("* ")) {
            untagged += line;
            continue;
        }
        if (!line.starts_with(tag))
            break;
        std::string status = line.substr(tag.size(), 3);
        for (char& c : status)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (status == "OK " || status == "OK\r") {
            NoteCapabilities(ReadCapabilities(untagged + line));
            return 1;
        }
        NoteLoginRefusal(line);
        return 0;
    }
    // Not an IMAP server's answer to AUTHENTICATE: nothing more goes to it.
    ConnectionSpoiled = true;
    RecordStatus(kTextUnknownFailure);
    return -1;
}

void CImapSession::Logout() {
    loggedOut_ = true;
    Active = false;
    if (SendCommand(ImapCommandLine(ImapCommand::Logout)) != 1)
        return;
    // Not examined; the server closes the connection after it.
    CImapResponseCollector reply = Reply(ImapCommand::Logout);
    ReadImapResponse(reply);
}

int CImapSession::SecureTransport(const std::string& greeting) {
    ImapCapabilities offered = ReadCapabilities(greeting);
    const bool tlsBefore = IsTls();
    if (!tlsBefore && !offered.Listed) {
        CImapResponseCollector reply = Reply(ImapCommand::Capability);
        if (Exchange(ImapCommand::Capability, {}, reply) != ReplyResult::Complete)
            return -1;
        if (reply.Status() == TaggedStatus::Ok)
            offered = ReadCapabilities(reply.Text());
    }
    capabilitiesKnown_ = offered.Listed;
    uidPlus_ = offered.UidPlus;
    oauth_ = ChooseOAuthMechanism(offered.OAuthBearer, offered.XOAuth2);
    saslIr_ = offered.SaslIr;
    const int secured = SecureBeforeLogin(!tlsBefore && offered.StartTls, [this] {
        CImapResponseCollector reply = Reply(ImapCommand::StartTls);
        return Exchange(ImapCommand::StartTls, {}, reply) == ReplyResult::Complete &&
               reply.Status() == TaggedStatus::Ok;
    });
    if (secured != 1 || tlsBefore || !IsTls())
        return secured;
    // What the server offered before TLS may have been tampered with.
    capabilitiesKnown_ = uidPlus_ = saslIr_ = false;
    oauth_ = OAuthMechanism::None;
    if (!UsesOAuth)
        return 1;
    // Which sign-in it offers is known only once asked under TLS.
    CImapResponseCollector reply = Reply(ImapCommand::Capability);
    if (Exchange(ImapCommand::Capability, {}, reply) != ReplyResult::Complete)
        return -1;
    offered = reply.Status() == TaggedStatus::Ok ? ReadCapabilities(reply.Text()) : ImapCapabilities{};
    NoteCapabilities(offered);
    oauth_ = ChooseOAuthMechanism(offered.OAuthBearer, offered.XOAuth2);
    saslIr_ = offered.SaslIr;
    return 1;
}

int CImapSession::LoginAndCount() {
    selected_ = loggedOut_ = uidPlus_ = capabilitiesKnown_ = false;
    sawExpunge_ = false;
    largestExists_ = -1;
    selectedValidity_.clear();
    uids_.clear();
    MessageCount = 0;
    if (Login() != 1)
        return -1;
    if (!capabilitiesKnown_) {
        CImapResponseCollector capabilities = Reply(ImapCommand::Capability);
        if (Exchange(ImapCommand::Capability, {}, capabilities) != ReplyResult::Complete)
            return -1;
        if (capabilities.Status() == TaggedStatus::Ok)
            uidPlus_ = ReadCapabilities(capabilities.Text()).UidPlus;
    }
    CImapResponseCollector reply = Reply(ImapCommand::Select);
    if (Exchange(ImapCommand::Select, "INBOX", reply) != ReplyResult::Complete)
        return -1;
    selected_ = true;
    selectedValidity_ = reply.UidValidity();
    long count = ParseExistsCount(reply.Text());
    if (count < 0) {
        // An inbox of unknown content: a CLOSE could remove anything in it.
        Logout();
        RecordStatus(kTextUnknownFailure);
        return 1;
    }
    if (count > kMaxMessageCount) {
        RecordReplyFailure(ReplyResult::TooLarge);
        return -1;
    }
    MessageCount = static_cast<int>(count);
    flags_ = ImapFlagTable{};
    flags_.State.assign(static_cast<size_t>(MessageCount), ImapFlagTable::Unknown);
    // Without a UIDVALIDITY no UID can be trusted from one check to the next.
    if (!JudgedMemoryPath.empty() && !selectedValidity_.empty() && selectedValidity_ != "?")
        return PlanByUid();
    PlanWholeMailbox();
    if (MessageCount == 0) {
        SendCommand(ImapCommandLine(ImapCommand::Close));
        Active = false;
        RecordStatus(kTextNoNewMails);
    }
    return 1;
}

int CImapSession::PlanByUid() {
    CImapResponseCollector reply = Reply(ImapCommand::UidSearch);
    if (Exchange(ImapCommand::UidSearch, "ALL", reply) != ReplyResult::Complete)
        return -1;
    std::vector<uint64_t> uids;
    if (reply.Status() != TaggedStatus::Ok || !ParseSearchResponse(reply.Text(), uids) ||
        uids.size() > static_cast<size_t>(kMaxMessageCount)) {
        RecordStatus(kTextFetchFailed);
        return -1;
    }
    std::sort(uids.begin(), uids.end());
    if (std::adjacent_find(uids.begin(), uids.end()) != uids.end()) {
        RecordStatus(kTextFetchFailed);
        return -1;
    }
    uids_ = uids;
    std::vector<std::string> ids;
    ids.reserve(uids.size());
    for (uint64_t uid : uids)
        ids.push_back(std::to_string(uid));
    PlanFromMemory(selectedValidity_, std::move(ids));
    if (BatchSize == 0)
        RecordStatus(kTextNoNewMails);
    return 1;
}

uint64_t CImapSession::UidOf(size_t index) const {
    return index < uids_.size() ? uids_[index] : 0;
}

bool CImapSession::TakeBody(long number, const FetchItems& items, std::string text) {
    const uint64_t key = UsingMemory() ? items.Uid : static_cast<uint64_t>(std::max(number, 0L));
    auto found = asked_.find(key);
    if (key == 0 || found == asked_.end())
        return false;
    const size_t position = found->second;
    asked_.erase(found); // a second body for it is a stray one
    if (!UsingMemory() && uidPlus_) {
        // UIDs ascend with the message numbers; a missing or repeated one
        // could make a UID EXPUNGE hit a message that is kept.
        const size_t index = static_cast<size_t>(number) - 1;
        if (items.Uid == 0 || (index > 0 && uids_[index - 1] >= items.Uid && uids_[index - 1]) ||
            (index + 1 < uids_.size() && uids_[index + 1] && uids_[index + 1] <= items.Uid))
            return false;
        uids_[index] = items.Uid;
    }
    ++arrived_;
    NoteCopyFacts(position,
                  {items.Uid ? std::to_string(items.Uid) : "", items.Flags, items.InternalDate});
    StoreFetchedMessage(position, std::move(text));
    return true;
}

bool CImapSession::MessageOfReply(const std::string& reply, std::string& message) const {
    return ImapBodyLiteral(reply, message);
}

int CImapSession::FetchForCopy(size_t serverIndex, std::string& reply, CopyFacts& facts) {
    // Only remembered mail is fetched here, and that is known by its UID.
    const uint64_t uid = UidOf(serverIndex);
    if (uid == 0 || sawExpunge_)
        return -1;
    bool stray = false;
    CImapResponseCollector response = Reply(ImapCommand::UidFetch);
    response.StreamFetchBodies([&](long, const FetchItems& items, std::string text) {
        stray = stray || items.Uid != uid;
        if (items.Uid == uid && reply.empty()) {
            reply = std::move(text);
            facts = {std::to_string(uid), items.Flags, items.InternalDate};
        }
    });
    const std::vector<std::string> lines =
        ImapSetCommands(ImapCommand::UidFetch, {static_cast<long>(uid)}, kFetchItemsWithUid);
    if (lines.size() != 1 || Exchange(lines[0], response) != ReplyResult::Complete)
        return -1;
    // Another message's body, or none: no copy from this reply.
    if (response.Status() != TaggedStatus::Ok || stray || reply.empty()) {
        reply.clear();
        return -1;
    }
    return 1;
}

int CImapSession::FetchMessage() {
    // The next window of the batch, by number or by UID.
    const size_t first = FetchedCount();
    const size_t last = std::min(static_cast<size_t>(BatchSize),
                                 first + static_cast<size_t>(std::clamp(FetchWindow, 1, 1000)));
    asked_.clear();
    std::vector<long> keys;
    for (size_t position = first; position < last; ++position) {
        const size_t index = ServerIndexOf(position);
        const uint64_t key = UsingMemory() ? UidOf(index) : index + 1;
        asked_.emplace(key, position);
        keys.push_back(static_cast<long>(key));
    }
    if (!UsingMemory() && uidPlus_ && uids_.size() != static_cast<size_t>(MessageCount))
        uids_.assign(static_cast<size_t>(MessageCount), 0);
    arrived_ = 0;
    strayBody_ = false;
    const ImapCommand command = UsingMemory() ? ImapCommand::UidFetch : ImapCommand::Fetch;
    const char* items = UsingMemory() || uidPlus_ ? kFetchItemsWithUid : kFetchItems;
    for (const std::string& line : ImapSetCommands(command, keys, items)) {
        CImapResponseCollector reply = Reply(command);
        reply.StreamFetchBodies([this](long number, const FetchItems& fetched, std::string text) {
            if (!TakeBody(number, fetched, std::move(text)))
                strayBody_ = true;
        });
        if (Exchange(line, reply) != ReplyResult::Complete)
            return -1;
        // A completion other than OK, or a body for no message asked for:
        // a text may be another message's, and judging it would put a
        // verdict on the wrong mail.
        if (reply.Status() != TaggedStatus::Ok || strayBody_) {
            RecordStatus(kTextFetchFailed);
            ConnectionSpoiled = true;
            return -1;
        }
    }
    // Every message asked for has its body.
    if (arrived_ != last - first || !asked_.empty()) {
        RecordStatus(kTextFetchFailed);
        return -1;
    }
    if (!UsingMemory() && uidPlus_) {
        for (size_t n = std::max<size_t>(first, 1); n < last; ++n)
            if (uids_[n] <= uids_[n - 1]) {
                RecordStatus(kTextFetchFailed);
                return -1;
            }
    }
    return 1;
}

const char* CImapSession::CloseWouldHarm(const std::vector<unsigned char>& verdicts) const {
    if (sawExpunge_)
        return kTextMailboxChanged;
    // New mail may come flagged, and its flags were never seen.
    if (largestExists_ > MessageCount || flags_.Beyond)
        return kTextInboxGrew;
    for (size_t i = 0; i < flags_.State.size(); ++i)
        if (flags_.State[i] == ImapFlagTable::Unknown ||
            (flags_.State[i] == ImapFlagTable::Deleted && (i >= verdicts.size() || verdicts[i])))
            return kTextForeignDeleted;
    return nullptr;
}

void CImapSession::RemoveByUid(const std::vector<long>& uids) {
    bool removed = true;
    // UIDs do not move with an EXPUNGE: no STORE can hit another message.
    if (!MarkByUid(uids))
        return;
    for (const std::string& command : ImapSetCommands(ImapCommand::UidExpunge, uids, "")) {
        CImapResponseCollector reply = Reply(ImapCommand::UidExpunge);
        if (Exchange(command, reply) != ReplyResult::Complete)
            return;
        removed = removed && reply.Status() == TaggedStatus::Ok;
    }
    RecordStatus(removed ? kTextImapEnded : kTextExpungeRefused);
    Logout();
}

bool CImapSession::SearchDeleted(std::vector<uint64_t>& uids) {
    CImapResponseCollector reply = Reply(ImapCommand::UidSearch);
    uids.clear();
    if (Exchange(ImapCommand::UidSearch, "DELETED", reply) != ReplyResult::Complete)
        return false;
    if (reply.Status() != TaggedStatus::Ok || !ParseSearchResponse(reply.Text(), uids))
        return false;
    std::sort(uids.begin(), uids.end());
    return true;
}

void CImapSession::RemoveByUidAndClose(const std::vector<long>& uids) {
    // A CLOSE removes every flagged message: only when the flagged ones are
    // exactly the condemned, before the marking and after it.
    auto onlyCondemned = [&](const std::vector<uint64_t>& flagged) {
        return std::all_of(flagged.begin(), flagged.end(), [&](uint64_t uid) {
            return std::binary_search(uids.begin(), uids.end(), static_cast<long>(uid));
        });
    };
    std::vector<uint64_t> flagged;
    if (!SearchDeleted(flagged) || !onlyCondemned(flagged)) {
        if (!ConnectionSpoiled) {
            RecordStatus(kTextForeignDeleted);
            Logout();
        }
        return;
    }
    if (!MarkByUid(uids))
        return;
    if (!SearchDeleted(flagged) || !onlyCondemned(flagged) || sawExpunge_ ||
        largestExists_ > MessageCount) {
        if (!ConnectionSpoiled) {
            RecordStatus(kTextLeftMarked);
            Logout();
        }
        return;
    }
    CloseAndEnd();
}

void CImapSession::DeleteMarkedAndQuit() {
    if (ConnectionSpoiled || loggedOut_)
        return;
    const std::vector<size_t> condemned = CondemnedServerIndexes();
    std::vector<long> condemnedUids;
    for (size_t index : condemned)
        condemnedUids.push_back(static_cast<long>(UidOf(index)));
    if (selected_ && (uidPlus_ || UsingMemory())) {
        if (condemned.empty()) {
            RecordStatus(kTextImapEnded);
            Logout();
        } else if (std::count(condemnedUids.begin(), condemnedUids.end(), 0L) > 0) {
            RecordStatus(kTextFetchFailed);
            Logout();
        } else if (uidPlus_) {
            RemoveByUid(condemnedUids);
        } else {
            RemoveByUidAndClose(condemnedUids);
        }
        return;
    }
    // By message number: the verdicts of the whole mailbox, kept where the
    // batch did not condemn.
    std::vector<unsigned char> verdicts(static_cast<size_t>(MessageCount), 1);
    for (size_t index : condemned)
        if (index < verdicts.size())
            verdicts[index] = 0;
    if (const char* harm = CloseWouldHarm(verdicts)) {
        RecordStatus(condemned.empty() ? kTextImapEnded : harm);
        Logout();
        return;
    }
    for (const std::string& command : MarkDeletedCommands(verdicts)) {
        // The numbers have moved: a STORE could hit another message.
        if (sawExpunge_)
            break;
        // A reply that did not arrive whole leaves it open what the server
        // did: no CLOSE. A NO or BAD is not examined: the flags that were
        // set are on condemned messages only.
        CImapResponseCollector reply = Reply(ImapCommand::Store);
        if (Exchange(command, reply) != ReplyResult::Complete)
            return;
    }
    // The STORE responses and the inbox may have changed what a CLOSE would
    // remove.
    if (CloseWouldHarm(verdicts)) {
        RecordStatus(kTextLeftMarked);
        Logout();
        return;
    }
    CloseAndEnd();
}

bool CImapSession::MarkByUid(const std::vector<long>& uids) {
    for (const std::string& command :
         ImapSetCommands(ImapCommand::UidStore, uids, " +FLAGS (\\Deleted)")) {
        CImapResponseCollector reply = Reply(ImapCommand::UidStore);
        if (Exchange(command, reply) != ReplyResult::Complete)
            return false;
    }
    return true;
}

void CImapSession::CloseAndEnd() {
    if (SendCommand(ImapCommandLine(ImapCommand::Close)) != 1)
        return;
    RecordStatus(kTextImapEnded);
    Active = false;
    // Not examined; waiting for it lets the server expunge before the
    // session counts as ended.
    CImapResponseCollector reply = Reply(ImapCommand::Close);
    ReadImapResponse(reply);
}

void CImapSession::KeepAlive() {
    CImapResponseCollector reply = Reply(ImapCommand::Noop);
    Exchange(ImapCommand::Noop, {}, reply);
}

void CImapSession::StartKeepAlive() {
    std::lock_guard guard(keepAliveLock_);
    if (keepAliveThread_.joinable() || ConnectionSpoiled)
        return;
    keepAliveStop_ = false;
    try {
        keepAliveThread_ = std::thread([this] {
            std::unique_lock lock(keepAliveLock_);
            while (!keepAliveStop_ && !ConnectionSpoiled) {
                if (keepAliveWake_.wait_for(lock, KeepAlivePeriod, [&] { return keepAliveStop_; }))
                    break;
                // The final step waits in the pipeline and does not touch the
                // connection until StopKeepAlive has joined this thread.
                lock.unlock();
                KeepAlive();
                lock.lock();
            }
        });
    } catch (const std::system_error&) {
        // No timer thread: the batch is judged without keep-alive.
    }
}

void CImapSession::StopKeepAlive() {
    std::thread timer;
    {
        std::lock_guard guard(keepAliveLock_);
        keepAliveStop_ = true;
        timer = std::move(keepAliveThread_);
    }
    keepAliveWake_.notify_all();
    if (timer.joinable())
        timer.join();
}
