#pragma once
// Reply parsers that read bytes, not sockets: each is fed the received bytes
// chunk by chunk, in any split, and tells when its reply is complete. Nothing
// a server sends is trusted: every parser stops at a hard limit instead of
// holding whatever the server chooses to send.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Hard limits on what a server can make a session hold.
struct ReplyLimits {
    size_t MaxStatusLine = 64 * 1024;         // a status line, or one line of an IMAP response
    size_t MaxMessage = 256u * 1024u * 1024u; // a fetched message (whole reply) or one literal
};

// Largest message count a session accepts from a server.
inline constexpr int kMaxMessageCount = 1000000;

enum class CollectState {
    NeedMore, // give me the next chunk
    Complete, // the reply is whole; bytes after it were not consumed
    TooLarge, // a limit was passed; the reply cannot be trusted
};

// One status line, up to and including its line feed.
class CStatusLineCollector {
  public:
    explicit CStatusLineCollector(size_t maxLine) : maxLine_(maxLine) {}
    // Takes bytes from `chunk`; returns how many it consumed.
    size_t Feed(std::string_view chunk);
    CollectState State() const { return state_; }
    const std::string& Text() const { return text_; }

  private:
    size_t maxLine_;
    std::string text_;
    CollectState state_ = CollectState::NeedMore;
};

// What a POP3 status line says: "+OK" or "-ERR", each followed by a blank or
// the line's end. Anything else is no POP3 reply at all.
enum class Pop3Status { Positive, Negative, Invalid };
Pop3Status ClassifyPop3Status(std::string_view line);

// A POP3 multi-line reply (the status line included) up to the line that
// holds a single full stop, after a CR LF: a bare line feed before a full
// stop is part of the text. The end marker is found across chunk borders,
// looking at each byte a bounded number of times.
class CPop3MessageCollector {
  public:
    CPop3MessageCollector(std::string statusLine, size_t maxMessage);
    size_t Feed(std::string_view chunk);
    CollectState State() const { return state_; }
    const std::string& Text() const { return text_; }
    // A grown text holds up to twice its size; a batch keeps many of them.
    std::string TakeText() {
        text_.shrink_to_fit();
        return std::move(text_);
    }

  private:
    void Search();
    size_t maxMessage_;
    std::string text_;
    size_t searchFrom_ = 0;
    CollectState state_ = CollectState::NeedMore;
};

// Position of the POP3 end marker (CR LF "." CR LF) in `text`, or -1.
long FindPop3MessageEnd(std::string_view text);

// The octets of the message in a whole POP3 reply (status line, text, end
// marker) as a server counts them: dot-stuffing removed, every line end
// counted as CR LF. -1 when `reply` is not a whole reply.
long long Pop3MessageOctets(std::string_view reply);
// The message itself in a whole POP3 reply: status line and end marker left
// out, dot-stuffing removed, line ends as they came. Empty when `reply` is
// not a whole reply.
std::string Pop3MessageContent(std::string_view reply);
// The BODY[] literal of one FETCH response line as the collector hands it
// over. false when the line holds none (a NIL body, another item's literal).
bool ImapBodyLiteral(std::string_view fetchLine, std::string& literal);
// The count of a RETR status line "+OK 1234 octets"; -1 when it gives none.
long long ParseRetrOctets(std::string_view statusLine);
// The sizes of a whole LIST reply's "n size" lines into `sizes` (element
// n - 1; entries not listed stay as they are). false when a line is not
// such an entry, names a message beyond `sizes` or names one twice.
bool ParseScanListing(std::string_view reply, std::vector<long long>& sizes);
// The unique ids of a whole UIDL reply's "n id" lines into `ids` (element
// n - 1). false when a line is not such an entry (an id is 1 to 70 printable
// characters), names a message beyond `ids` or names one twice, or when a
// message is left without an id.
bool ParseUniqueIdListing(std::string_view reply, std::vector<std::string>& ids);

// What an IMAP session knows of the \Deleted flags in its view of the inbox.
struct ImapFlagTable {
    enum : unsigned char { Unknown, Clear, Deleted };
    std::vector<unsigned char> State; // element n - 1 = message n
    bool Beyond = false;              // a FETCH named a message past the table
};

// The items of an untagged FETCH that a session reads.
struct FetchItems {
    bool HasFlags = false;
    bool Deleted = false;     // FLAGS holds \Deleted
    uint64_t Uid = 0;         // 0: no UID item
    std::string Flags;        // FLAGS without \Deleted and \Recent, as a restore sets them again
    std::string InternalDate; // INTERNALDATE without its quotes; empty when not sent
};
// Reads the parenthesised list after "FETCH" (literal contents left out, each
// "{n}" in its place). false when it is not a well-formed list.
bool ParseFetchItems(std::string_view items, FetchItems& out);

// What an IMAP response said, besides its text.
enum class TaggedStatus { None, Ok, No, Bad, Other };

// An IMAP response to one tagged command: untagged lines, literals of their
// announced length (so a body holding the tag cannot end the response early),
// up to the tagged completion line.
class CImapResponseCollector {
  public:
    CImapResponseCollector(std::string tag, const ReplyLimits& limits);
    size_t Feed(std::string_view chunk);
    CollectState State() const { return state_; }
    const std::string& Text() const { return text_; }
    TaggedStatus Status() const { return status_; }
    bool SawExpunge() const { return sawExpunge_; }
    // The largest "* n EXISTS" of the response; -1 without one.
    long LargestExists() const { return largestExists_; }
    // The value of the last "[UIDVALIDITY n]" of an untagged line; empty
    // without one.
    const std::string& UidValidity() const { return uidValidity_; }
    // Records the FLAGS of every untagged FETCH in `table` (may be null).
    void TrackFlags(ImapFlagTable* table) { flags_ = table; }
    // Hands over every untagged FETCH that carries a literal (a body) as
    // soon as it is complete: its message number, its items and its whole
    // text (the FETCH line, the literal, the rest of the line). The response
    // then keeps only the other lines, so a fetch of many messages holds one
    // at a time.
    using FetchSink = std::function<void(long number, const FetchItems& items, std::string text)>;
    void StreamFetchBodies(FetchSink sink) { sink_ = std::move(sink); }

  private:
    void LineSegmentEnded(size_t segmentStart, size_t segmentEnd);
    void LogicalLineEnded();
    void Fail() { state_ = CollectState::TooLarge; }

    std::string tag_;
    ReplyLimits limits_;
    std::string text_;
    CollectState state_ = CollectState::NeedMore;
    TaggedStatus status_ = TaggedStatus::None;
    bool sawExpunge_ = false;
    long largestExists_ = -1;
    std::string uidValidity_;
    ImapFlagTable* flags_ = nullptr;
    FetchSink sink_;
    std::string skeleton_; // the current line without its literals' contents

    // Parser state: within a line segment, or within a literal.
    uint64_t literalLeft_ = 0;
    size_t segmentStart_ = 0;    // where the current line segment starts in text_
    size_t lineStart_ = 0;       // where the current logical line starts in text_
    size_t firstSegmentEnd_ = 0; // end of the logical line's first segment
    bool lineHasLiteral_ = false;
};

// The numbers of the untagged SEARCH lines of a response, in the order
// given. false when such a line holds anything but numbers of 1 .. 2^32 - 1.
bool ParseSearchResponse(std::string_view response, std::vector<uint64_t>& numbers);

// Reads "{n}" or "{n+}" at the end of an IMAP line segment (CR LF removed).
// Returns true and the size when the segment announces a literal; `tooLarge`
// is set when the number exceeds `maxLiteral` or is not a plain decimal.
bool ParseLiteralAnnouncement(std::string_view segment, uint64_t maxLiteral, uint64_t& size,
                              bool& tooLarge);
