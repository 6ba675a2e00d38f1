#pragma once
// A fetched message read as the user's mail program shows it: transfer
// encodings undone, charsets converted to UTF-8, encoded words in the header
// fields decoded, HTML parts reduced to their text. The rules' own cuts of
// the raw text (CMailMessage) are not affected; this is an addition that the
// learned score and, where the user chose so, the rules read.
//
// Total and bounded: any input gives a result, in time linear in its size,
// with the nesting of parts and the decoded text capped.
#include <string>
#include <string_view>

struct DecodedMail {
    std::string From;        // the From field decoded (display name and address), UTF-8
    std::string FromAddress; // the address it names ("name@domain"), empty when none
    std::string Subject;     // the Subject field decoded, white space folded, UTF-8
    // The text of the text/plain and text/html parts (HTML without tags,
    // entities resolved), UTF-8, in message order, at most kMaxDecodedText bytes.
    std::string Text;
    bool Parsed = false; // false: no header could be read; the fields are empty
};

inline constexpr size_t kMaxDecodedText = size_t{256} << 10;
// Header fields (a "Name:" line and the lines folded into it) longer than
// this are cut to it before parsing, in the message's header as in a part's.
inline constexpr size_t kMaxHeaderField = size_t{32} << 10;

// `message`: the message as sent, header then body, lines ending in CR LF or LF.
DecodedMail DecodeMail(std::string_view message);

// The message inside a fetch reply as the sessions hand it over (POP3
// "+OK ..." line then the dot-stuffed text; IMAP "* n FETCH (... {size}"
// line then the literal): everything after the first line.
std::string_view MessageOfFetchedText(std::string_view text);

// One encoded-word header value (RFC 2047) decoded to UTF-8; text that is
// not encoded is converted from Latin-1 when it is not valid UTF-8. At most
// the first kMaxHeaderField bytes of the value are read.
std::string DecodeHeaderText(std::string_view value);

// The first `lines` non-empty lines of `text`, at most `maxBytes` bytes, cut
// at a character boundary.
std::string FirstLinesOf(std::string_view text, int lines, size_t maxBytes);
