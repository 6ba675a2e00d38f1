#pragma once
// CMailMessage: the filter's view of one fetched text (the server's reply
// line to the fetch command, then the message as sent). The parser is
// deliberately shallow: plain substring searches for a few header words and
// fixed cuts behind them, no MIME decoding, no unfolding. The cuts, quirks
// included, decide what the rules see, so they are kept exactly.
//
// Parsing is total and linear in the text's length: every search starts
// where the previous one left off, and the one search for a pattern taken
// from the message itself (the boundary part marker) runs in linear time.
#include <string>
#include <string_view>

// The address a From value names: the text inside the first pair of angle
// brackets when it holds an "@", else the first blank-separated word with an
// "@", without quotes, brackets, parentheses or commas around it. Empty when
// there is none.
std::string BareSenderAddress(std::string_view from);

class CMailMessage {
  public:
    CMailMessage() = default;
    virtual ~CMailMessage() = default;

    void SetRawText(std::string text) { RawText = std::move(text); }
    // Fills every field from RawText and cuts the reply's first four
    // characters off RawText. Call SetRawText before each parse.
    void ParseHeaders();

    std::string GetSender() const { return Sender; }
    std::string GetDate() const { return Date; }
    std::string GetBodyText() const { return BodyText; }
    std::string GetSubject() const { return Subject; }
    std::string GetAttachmentTypes() const { return AttachmentTypes; }
    int GetSize() const { return Size; }
    std::string GetSenderDomain() const { return SenderDomain; }
    // The address of the From line before the cut (BareSenderAddress).
    std::string GetBareAddress() const { return BareAddress; }
    // Sender + Subject + Size (signed decimal) + Date, a line feed, and a
    // digest of BodyText: equal for two fetches of the same message.
    void BuildMessageKey();
    std::string GetMessageKey();

  private:
    std::string MessageKey;
    std::string Sender;
    std::string Date; // 16 characters ("Thu, 18 Sep 2003"); empty without "Date"
    std::string BodyText;
    std::string Subject;
    std::string AttachmentTypes; // three characters per attachment, e.g. "exezip"
    std::string SenderDomain;
    std::string BareAddress;
    int Size = 0;
    std::string RawText;
};
