#pragma once
// CPop3Session: the POP3 dialogue (USER, PASS, CAPA, STAT, RETR, DELE, NOOP
// and "Quit"), byte for byte, on the session step machine.
//
// When the server lists PIPELINING in its capabilities, the RETR and DELE
// commands go out ahead of their replies, up to PipelineDepth at a time, and
// the replies are read in order: a check then costs a few round trips instead
// of one per message. The step machine sees no difference: each fetch step
// still stores exactly its own message's whole reply.
#include "mail/session.h"

#include <vector>

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

    // Commands sent ahead of their replies: enough to keep a distant server
    // busy, few enough that they always fit in the connection's buffers (the
    // server may stop reading while we have not read its replies).
    int PipelineDepth = 128;
    // Whether the RETR and DELE commands are sent ahead (for tests and logs).
    bool Pipelining() const { return pipelining_; }

  private:
    // Reads one status line. 1, or -1 (text recorded).
    int ReadStatus(std::string& statusLine);
    // Sends `command` and reads its status line. 1, or -1 (text recorded).
    int Ask(const std::string& command, std::string& statusLine);
    // `statusLine` holds the reply to `command`: while it is negative, the
    // command is sent again, at most MaxCommandRepeats times. 1 positive; -1
    // the session must end (text recorded when the connection failed).
    int RepeatUntilPositive(const std::string& command, std::string& statusLine);
    // CAPA: 1 (pipelining_ set when offered); -1 the reply failed.
    int ReadCapabilities();
    // Sends the RETR commands up to PipelineDepth - 1 beyond `number` that are
    // not out yet, then reads the status line of `number`'s reply.
    int ReadStatusAhead(int number, std::string& statusLine);
    // Reads and drops the replies to the RETR commands sent after `number`.
    int DropRepliesAfter(int number);
    // DELE for each of `numbers`: one by one, or ahead when pipelining.
    int DeleteEach(const std::vector<int>& numbers);
    int DeleteAhead(const std::vector<int>& numbers);
    int Depth() const;

    bool pipelining_ = false; // step threads only
    int retrSent_ = 0;        // the last message whose RETR has been sent ahead
};

// A POP3 status reply is positive when it begins with "+OK".
bool IsPositivePop3Reply(const std::string& reply);
// Whether a positive CAPA reply (status line, capability lines, ".") lists
// PIPELINING.
bool OffersPipelining(const std::string& capaReply);
