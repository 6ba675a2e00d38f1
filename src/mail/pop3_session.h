#pragma once
// CPop3Session: the POP3 dialogue (CAPA, STLS, USER, PASS, STAT, RETR, DELE,
// NOOP and "Quit"), byte for byte, on the session step machine. A server
// that offers STLS gets the user name only over TLS.
//
// With a memory of judged messages (JudgedMemoryPath) and a server that
// gives unique ids (UIDL), only the messages whose ids the memory does not
// hold are fetched; without UIDL, or with an id given twice, every message
// is, as without a memory.
//
// When the server lists PIPELINING in its capabilities, the RETR and DELE
// commands go out ahead of their replies, up to PipelineDepth at a time, and
// the replies are read in order: a check then costs a few round trips instead
// of one per message. The step machine sees no difference: each fetch step
// still stores exactly its own message's whole reply.
//
// A reply is read as the protocol defines it: a status line that is neither
// "+OK" nor "-ERR" ends the session, for nothing after it can be matched to
// its command. Each fetched text is held against the sizes of LIST and of
// the RETR status line; one that disagrees ends the session. Either way
// nothing is deleted.
#include "mail/session.h"

#include <string_view>
#include <vector>

class CPop3Session : public CMailSession {
  public:
    explicit CPop3Session(CFilterApp& app) : CMailSession(app, 'P') {}

    void KeepAlive() override;
    void DeleteMarkedAndQuit() override;
    int LoginAndCount() override;
    int FetchMessage() override;
    bool MessageOfReply(const std::string& reply, std::string& message) const override;
    int FetchForCopy(size_t serverIndex, std::string& reply, CopyFacts& facts) override;
    int Login() override;

    // Commands sent ahead of their replies: enough to keep a distant server
    // busy, few enough that they always fit in the connection's buffers (the
    // server may stop reading while we have not read its replies).
    int PipelineDepth = 128;
    // Whether the RETR and DELE commands are sent ahead (for tests and logs).
    bool Pipelining() const { return pipelining_; }

  private:
    // Ends the session for a reply that is no POP3 reply (text recorded).
    int ProtocolError(const char* text);
    // The status of `statusLine`; a protocol error when it is Invalid.
    int Classify(const std::string& statusLine, Pop3Status& status);
    // Sends `command` and reads its multi-line reply into `listing`: 1, 0
    // when the server refuses it (-ERR), -1 the session ends (text recorded).
    int AskListing(const std::string& command, std::string& listing);
    // LIST: the sizes of the messages, where the server gives them.
    int ReadSizes();
    // Whether the fetched `text` of message `number` has the size the
    // server gave for it.
    bool SizeAgrees(int number, const std::string& statusLine, const std::string& text) const;
    // Reads one status line. 1, or -1 (text recorded).
    int ReadStatus(std::string& statusLine);
    // Sends `command` and reads its status line. 1, or -1 (text recorded).
    int Ask(const std::string& command, std::string& statusLine);
    // `statusLine` holds the reply to `command`: while it is negative, the
    // command is sent again, at most MaxCommandRepeats times. 1 positive; -1
    // the session must end (text recorded when the connection failed).
    int RepeatUntilPositive(const std::string& command, std::string& statusLine);
    // CAPA: 1 (pipelining_ set when offered); -1 the reply failed.
    int ReadCapabilities(bool& offersStls);
    // Before the user name: CAPA, and STLS when offered (see
    // SecureBeforeLogin). 1, -1, kLoginTlsFailed or kLoginPasswordKept.
    int SecureTransport();
    // AUTH with an OAuth 2.0 initial response: 1 accepted, 0 refused, -1 failed.
    int Authenticate(OAuthMechanism mechanism, const std::string& initialResponse);
    // UIDL: the unique ids, when the server gives them, and the batch from
    // them and the memory. 1, or -1 (text recorded).
    int PlanByUniqueId();
    // The message number of the batch's message `position`.
    int NumberOf(size_t position) const { return static_cast<int>(ServerIndexOf(position)) + 1; }
    // Sends the RETR commands for up to PipelineDepth - 1 batch positions
    // beyond `position` that are not out yet, then reads the status line of
    // `position`'s reply.
    int ReadStatusAhead(size_t position, std::string& statusLine);
    // Reads and drops the replies to the RETR commands sent after `position`.
    int DropRepliesAfter(size_t position);
    // DELE for each of `numbers`: one by one, or ahead when pipelining.
    int DeleteEach(const std::vector<int>& numbers);
    int DeleteAhead(const std::vector<int>& numbers);
    int Depth() const;

    bool pipelining_ = false;      // step threads only
    OAuthMechanism oauth_ = OAuthMechanism::None; // the best one CAPA lists
    size_t retrSent_ = 0;          // batch positions whose RETR has been sent ahead
    std::vector<long long> sizes_; // LIST sizes, -1 where none was given
    size_t accounted_ = 0;         // fetched texts that passed every check
};

// Status texts of the POP3 checks that end a session with nothing deleted.
inline constexpr const char* kTextNotPop3 = "Server reply is no POP3 reply; nothing deleted";
inline constexpr const char* kTextSizeMismatch =
    "A message differs from the size the server gave; nothing deleted";
// Whether a positive CAPA reply (status line, capability lines, ".") lists
// PIPELINING.
bool OffersPipelining(const std::string& capaReply);
// Whether a positive CAPA reply lists the capability `word` (upper case).
bool OffersCapability(const std::string& capaReply, std::string_view word);
// Whether CAPA's "SASL" line lists `mechanism` (in capitals).
bool OffersSaslMechanism(const std::string& capaReply, std::string_view mechanism);
