#include "mail/imap_session.h"

#include "app/core/prompts.h"
#include "mail/sequence_set.h"
#include "platform/numconv.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <system_error>

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

std::vector<std::string> SetCommands(const std::string& head, const std::vector<long>& numbers,
                                     const std::string& tail) {
    std::vector<std::string> commands;
    for (const std::string& set :
         BuildSequenceSets(numbers, kMaxStoreLine - head.size() - tail.size()))
        commands.push_back(head + set + tail);
    return commands;
}

std::vector<std::string> MarkDeletedCommands(const std::vector<unsigned char>& verdicts) {
    std::vector<long> condemned;
    for (size_t i = 0; i < verdicts.size(); ++i)
        if (verdicts[i] == 0)
            condemned.push_back(static_cast<long>(i) + 1);
    return SetCommands("A003 STORE ", condemned, " FLAGS (\\Deleted)\r\n");
}

bool ReadCapabilities(std::string_view response, bool& uidPlus) {
    bool listed = false;
    uidPlus = false;
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
        listed = true;
        std::istringstream words(line.substr(list, line.find_first_of("]\r", list) - list));
        for (std::string word; words >> word;)
            uidPlus |= word == "UIDPLUS";
    }
    return listed;
}

CImapSession::~CImapSession() {
    StopKeepAlive();
}

long CImapSession::FindMessageEnd(std::string_view chunk) {
    size_t pos = chunk.find("A654 OK");
    return pos == std::string_view::npos ? -1 : static_cast<long>(pos);
}

ReplyResult CImapSession::Exchange(const std::string& command, CImapResponseCollector& collector) {
    if (SendCommand(command) != 1)
        return ReplyResult::Failed;
    if (selected_)
        collector.TrackFlags(&flags_);
    ReplyResult result = ReadImapResponse(collector);
    if (result != ReplyResult::Complete) {
        RecordReplyFailure(result);
    } else if (selected_) {
        if (collector.SawExpunge())
            sawExpunge_ = true;
        largestExists_ = std::max(largestExists_, collector.LargestExists());
    }
    return result;
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
    capabilitiesKnown_ = ReadCapabilities(line, uidPlus_);
    LoginPromptData prompt;
    for (bool first = true;; first = false) {
        int prepared = PrepareLoginAttempt(first, prompt);
        if (prepared != 1)
            return prepared;
        if (!IsSafeArgument(UserName) || !IsSafeArgument(Password))
            continue;
        CImapResponseCollector reply("a001", Limits);
        if (Exchange("a001 LOGIN " + UserName + " " + Password + "\r\n", reply) !=
            ReplyResult::Complete)
            return -1;
        if (reply.Status() == TaggedStatus::Ok) {
            // The capabilities after login are the ones that count.
            bool uidPlus = false;
            if (ReadCapabilities(reply.Text(), uidPlus)) {
                capabilitiesKnown_ = true;
                uidPlus_ = uidPlus;
            }
            return 1;
        }
    }
}

void CImapSession::SendClose() {
    SendCommand("A341 CLOSE\r\n");
}

void CImapSession::Logout() {
    loggedOut_ = true;
    Active = false;
    if (SendCommand("a006 LOGOUT\r\n") != 1)
        return;
    // Not examined; the server closes the connection after it.
    CImapResponseCollector reply("a006", Limits);
    ReadImapResponse(reply);
}

int CImapSession::LoginAndCount() {
    selected_ = loggedOut_ = uidPlus_ = capabilitiesKnown_ = false;
    sawExpunge_ = false;
    largestExists_ = -1;
    uids_.clear();
    MessageCount = 0;
    if (Login() != 1)
        return -1;
    if (!capabilitiesKnown_) {
        CImapResponseCollector capabilities("a004", Limits);
        if (Exchange("a004 CAPABILITY\r\n", capabilities) != ReplyResult::Complete)
            return -1;
        if (capabilities.Status() == TaggedStatus::Ok)
            ReadCapabilities(capabilities.Text(), uidPlus_);
    }
    CImapResponseCollector reply("A142", Limits);
    if (Exchange("A142 SELECT INBOX\r\n", reply) != ReplyResult::Complete)
        return -1;
    selected_ = true;
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
    if (MessageCount == 0) {
        SendClose();
        Active = false;
        RecordStatus(kTextNoNewMails);
        return 1;
    }
    return FetchMessage();
}

int CImapSession::FetchMessage() {
    const int number = GetMessageNumber();
    // One FETCH at a time: servers answer FETCHes sent ahead with all their
    // untagged responses first, and the fixed tag could not tell them apart.
    CImapResponseCollector reply("A654", Limits, number);
    const std::string items = uidPlus_ ? " (UID FLAGS BODY[])\r\n" : " (FLAGS BODY[])\r\n";
    if (Exchange("A654 FETCH " + Itoa(number) + items, reply) != ReplyResult::Complete)
        return -1;
    // A completion other than OK, no body for this message, or the body of
    // another message in its response: the text is not this message, and
    // judging it would put a verdict on the wrong mail.
    if (reply.Status() != TaggedStatus::Ok || !reply.SawFetchLiteral() ||
        reply.SawOtherFetchLiteral()) {
        RecordStatus(kTextFetchFailed);
        return -1;
    }
    // UIDs ascend with the message numbers; a missing or repeated one could
    // make a UID EXPUNGE hit a message that is kept.
    if (uidPlus_) {
        if (reply.FetchedUid() == 0 || (!uids_.empty() && reply.FetchedUid() <= uids_.back())) {
            RecordStatus(kTextFetchFailed);
            return -1;
        }
        uids_.push_back(reply.FetchedUid());
    }
    StoreFetchedMessage(reply.TakeText());
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

void CImapSession::RemoveByUid(const std::vector<unsigned char>& verdicts) {
    std::vector<long> condemned;
    for (size_t i = 0; i < verdicts.size() && i < uids_.size(); ++i)
        if (verdicts[i] == 0)
            condemned.push_back(static_cast<long>(uids_[i]));
    bool removed = true;
    // UIDs do not move with an EXPUNGE: no STORE can hit another message.
    for (const std::string& command :
         SetCommands("A003 UID STORE ", condemned, " +FLAGS (\\Deleted)\r\n")) {
        CImapResponseCollector reply("A003", Limits);
        if (Exchange(command, reply) != ReplyResult::Complete)
            return;
    }
    for (const std::string& command : SetCommands("a005 UID EXPUNGE ", condemned, "\r\n")) {
        CImapResponseCollector reply("a005", Limits);
        if (Exchange(command, reply) != ReplyResult::Complete)
            return;
        removed = removed && reply.Status() == TaggedStatus::Ok;
    }
    RecordStatus(removed ? kTextImapEnded : kTextExpungeRefused);
    Logout();
}

void CImapSession::DeleteMarkedAndQuit() {
    if (ConnectionSpoiled || loggedOut_)
        return;
    // Verdicts that do not match the batch condemn nothing.
    std::vector<unsigned char> verdicts(Messages.size(), 1);
    if (Verdicts.size() == Messages.size() && Messages.size() == static_cast<size_t>(MessageCount))
        verdicts = Verdicts;
    const bool anyCondemned = std::count(verdicts.begin(), verdicts.end(), 0) > 0;
    if (uidPlus_ && selected_) {
        RemoveByUid(verdicts);
        return;
    }
    if (const char* harm = CloseWouldHarm(verdicts)) {
        RecordStatus(anyCondemned ? harm : kTextImapEnded);
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
        CImapResponseCollector reply("A003", Limits);
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
    if (SendCommand("A341 CLOSE\r\n") != 1)
        return;
    RecordStatus(kTextImapEnded);
    Active = false;
    // Not examined; waiting for it lets the server expunge before the
    // session counts as ended.
    CImapResponseCollector reply("A341", Limits);
    ReadImapResponse(reply);
}

void CImapSession::Quit() {
    // LOGOUT, never CLOSE: a CLOSE would expunge flags this session did not set.
    if (!Active)
        return;
    loggedOut_ = true;
    SendCommand("a006 LOGOUT\r\n");
    RecordStatus(kTextImapQuit);
    Active = false;
}

void CImapSession::KeepAlive() {
    CImapResponseCollector reply("a002", Limits);
    Exchange("a002 NOOP\r\n", reply);
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
