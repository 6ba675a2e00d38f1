#include "mail/pop3_session.h"

#include "app/core/prompts.h"
#include "platform/numconv.h"

bool IsPositivePop3Reply(const std::string& reply) {
    return reply.compare(0, 3, "+OK") == 0;
}

long CPop3Session::FindMessageEnd(std::string_view chunk) {
    return FindPop3MessageEnd(chunk);
}

int CPop3Session::Login() {
    std::string line;
    ReplyResult result = ReadStatusLine(line);
    if (result == ReplyResult::TimedOut) {
        RecordReplyFailure(result);
        return -1;
    }
    if (result != ReplyResult::Complete || !IsPositivePop3Reply(line)) {
        RecordStatus(kTextServerBusy);
        return -1;
    }
    Active = true;
    LoginPromptData prompt;
    for (bool first = true;; first = false) {
        int prepared = PrepareLoginAttempt(first, prompt);
        if (prepared != 1)
            return prepared;
        // A line break inside a value would smuggle in a command of its own.
        if (!IsSafeArgument(UserName) || !IsSafeArgument(Password))
            continue;
        if (SendCommand("USER " + UserName + "\r\n") != 1)
            return -1;
        result = ReadStatusLine(line);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
        if (!IsPositivePop3Reply(line))
            continue;
        if (SendCommand("PASS " + Password + "\r\n") != 1)
            return -1;
        result = ReadStatusLine(line);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
        if (IsPositivePop3Reply(line))
            return 1;
    }
}

int CPop3Session::LoginAndCount() {
    if (Login() != 1)
        return -1;
    std::string line;
    if (SendCommand("STAT\r\n") != 1)
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
    if (!IsPositivePop3Reply(line)) {
        SendCommand("Quit\r\n");
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
    MessageCount = count;
    if (MessageCount == 0) {
        SendCommand("Quit\r\n");
        RecordStatus(kTextNoNewMails);
        Active = false;
        return 1;
    }
    return FetchMessage();
}

int CPop3Session::CommandUntilPositive(const std::string& command, std::string& statusLine) {
    for (int repeat = 0;; ++repeat) {
        if (SendCommand(command) != 1)
            return -1;
        ReplyResult result = ReadStatusLine(statusLine);
        if (result != ReplyResult::Complete) {
            RecordReplyFailure(result);
            return -1;
        }
        if (IsPositivePop3Reply(statusLine))
            return 1;
        if (repeat >= MaxCommandRepeats)
            return -1;
    }
}

int CPop3Session::FetchMessage() {
    std::string statusLine;
    if (CommandUntilPositive("RETR " + Itoa(GetMessageNumber()) + "\r\n", statusLine) != 1) {
        if (!ConnectionSpoiled)
            RecordStatus(kTextFetchFailed);
        return -1;
    }
    std::string text;
    ReplyResult result = ReadPop3Message(std::move(statusLine), text);
    if (result != ReplyResult::Complete) {
        RecordReplyFailure(result);
        return -1;
    }
    Messages.push_back(std::move(text));
    return 1;
}

void CPop3Session::DeleteMarkedAndQuit() {
    if (ConnectionSpoiled)
        return;
    // Verdicts that do not match the batch delete nothing.
    if (Verdicts.size() == Messages.size()) {
        for (size_t i = 0; i < Messages.size(); ++i) {
            if (Verdicts[i] != 0)
                continue;
            std::string statusLine;
            if (CommandUntilPositive("DELE " + Itoa(static_cast<long long>(i) + 1) + "\r\n",
                                     statusLine) != 1) {
                // Without "Quit" the server forgets every mark of this
                // session: nothing is deleted, the next check tries again.
                if (!ConnectionSpoiled)
                    RecordStatus(kTextUnknownFailure);
                ConnectionSpoiled = true;
                return;
            }
        }
    }
    if (SendCommand("Quit\r\n") != 1)
        return;
    Active = false;
    // The server's answer is not examined; waiting for it lets the server
    // finish its deletions before the session counts as ended.
    std::string ignored;
    ReadStatusLine(ignored);
}

void CPop3Session::Quit() {
    if (Active)
        SendCommand("Quit\r\n");
}

void CPop3Session::KeepAlive() {
    if (SendCommand("NOOP\r\n") != 1)
        return;
    std::string ignored;
    ReplyResult result = ReadStatusLine(ignored);
    if (result != ReplyResult::Complete)
        RecordReplyFailure(result);
}
