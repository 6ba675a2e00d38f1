#include "mail/imap_session.h"

#include "app/core/prompts.h"
#include "mail/sequence_set.h"
#include "platform/numconv.h"

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

std::vector<std::string> MarkDeletedCommands(const std::vector<unsigned char>& verdicts) {
    const std::string head = "A003 STORE ";
    const std::string tail = " FLAGS (\\Deleted)\r\n";
    std::vector<long> condemned;
    for (size_t i = 0; i < verdicts.size(); ++i)
        if (verdicts[i] == 0)
            condemned.push_back(static_cast<long>(i) + 1);
    std::vector<std::string> commands;
    for (const std::string& set :
         BuildSequenceSets(condemned, kMaxStoreLine - head.size() - tail.size()))
        commands.push_back(head + set + tail);
    return commands;
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
    ReplyResult result = ReadImapResponse(collector);
    if (result != ReplyResult::Complete)
        RecordReplyFailure(result);
    else if (selected_ && collector.SawExpunge())
        sawExpunge_ = true;
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
        if (reply.Status() == TaggedStatus::Ok)
            return 1;
    }
}

void CImapSession::SendClose() {
    SendCommand("A341 CLOSE\r\n");
}

int CImapSession::LoginAndCount() {
    if (Login() != 1)
        return -1;
    CImapResponseCollector reply("A142", Limits);
    if (Exchange("A142 SELECT INBOX\r\n", reply) != ReplyResult::Complete)
        return -1;
    selected_ = true;
    long count = ParseExistsCount(reply.Text());
    if (count < 0) {
        SendClose();
        Active = false;
        RecordStatus(kTextUnknownFailure);
        return 1;
    }
    if (count > kMaxMessageCount) {
        RecordReplyFailure(ReplyResult::TooLarge);
        return -1;
    }
    MessageCount = static_cast<int>(count);
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
    if (Exchange("A654 FETCH " + Itoa(number) + " (FLAGS BODY[])\r\n", reply) !=
        ReplyResult::Complete)
        return -1;
    // A completion other than OK, no body for this message, or the body of
    // another message in its response: the text is not this message, and
    // judging it would put a verdict on the wrong mail.
    if (reply.Status() != TaggedStatus::Ok || !reply.SawFetchLiteral() ||
        reply.SawOtherFetchLiteral()) {
        RecordStatus(kTextFetchFailed);
        return -1;
    }
    StoreFetchedMessage(reply.TakeText());
    return 1;
}

void CImapSession::DeleteMarkedAndQuit() {
    if (ConnectionSpoiled)
        return;
    bool anyMarked = false;
    if (Verdicts.size() == Messages.size()) {
        for (const std::string& command : MarkDeletedCommands(Verdicts)) {
            anyMarked = true;
            // The numbers have moved: a STORE could hit another message.
            if (sawExpunge_)
                break;
            // A reply that did not arrive whole leaves it open what the
            // server did: no CLOSE. A NO or BAD is not examined: the flags
            // that were set are on condemned messages only (no EXPUNGE has
            // moved the numbers), and the CLOSE removes them now, by this
            // batch's verdicts, instead of leaving them marked for whichever
            // later CLOSE comes.
            CImapResponseCollector reply("A003", Limits);
            if (Exchange(command, reply) != ReplyResult::Complete)
                return;
        }
    }
    if (SendCommand("A341 CLOSE\r\n") != 1)
        return;
    RecordStatus(sawExpunge_ && anyMarked ? kTextMailboxChanged : kTextImapEnded);
    Active = false;
    // Not examined; waiting for it lets the server expunge before the
    // session counts as ended.
    CImapResponseCollector reply("A341", Limits);
    ReadImapResponse(reply);
}

void CImapSession::Quit() {
    if (!Active)
        return;
    SendClose();
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
