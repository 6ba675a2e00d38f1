#pragma once
// CPop3Session: the POP3 dialogue (USER, PASS, STAT, RETR, DELE, NOOP and
// "Quit"), byte for byte, on the session step machine.
#include "mail/session.h"

class CPop3Session : public CMailSession {
  public:
    explicit CPop3Session(CFilterApp& app) : CMailSession(app, 'P') {}

    long FindMessageEnd(std::string_view chunk) override;
    void KeepAlive() override;
    void DeleteMarkedAndQuit() override;
    void Quit() override;
    int LoginAndCount() override;
    int FetchMessage() override;
    int Login() override;

  private:
    // Sends `command` and reads its status line, again while the reply is
    // negative, at most MaxCommandRepeats more times. 1 positive; -1 the
    // session must end (text recorded).
    int CommandUntilPositive(const std::string& command, std::string& statusLine);
};

// A POP3 status reply is positive when it begins with "+OK".
bool IsPositivePop3Reply(const std::string& reply);
