#include "filter/mail_decoder.h"

#include "filter/html_text.h"
#include "filter/mail_text.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <mutex>

namespace {
using namespace mail_text;

constexpr int kMaxDepth = 16;
constexpr int kMaxParts = 256;
// Decoded HTML read from one part: markup, styles and scripts shrink a lot
// on the way to text, so this is well above the text cap, yet bounded.
constexpr size_t kMaxHtmlSource = size_t{4} << 20;
constexpr size_t kReadChunk = 16384;

// GMime keeps global tables (types, charsets, iconv cache) that it builds
// once; the parser options are shared read-only by every call after that.
GMimeParserOptions* ParserOptions() {
    static std::once_flag once;
    static GMimeParserOptions* options = nullptr;
    std::call_once(once, [] {
        g_mime_init();
        options = g_mime_parser_options_new();
        // 8-bit header text that is not UTF-8 is read as the web reads Latin-1.
        const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallback);
    });
    return options;
}

// Owns one GObject reference.
template <typename T> struct CRef {
    explicit CRef(T* object) : Object(object) {}
    ~CRef() {
        if (Object)
            g_object_unref(Object);
    }
    CRef(const CRef&) = delete;
    CRef& operator=(const CRef&) = delete;
    T* Object;
};

// ---- parts ----

bool IsOneOf(const char* charset, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (g_ascii_strcasecmp(charset, name) == 0)
            return true;
    return false;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Quoted-printable undone: "=XX" pairs and soft line breaks; an '=' that
// is neither stays as it is, as mail programs show it.
std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t run = 0;
    for (size_t i = text.find('='); i != std::string_view::npos; i = text.find('=', run)) {
        out.append(text.data() + run, i - run);
        const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high >= 0 && low >= 0) {
            out += static_cast<char>(high * 16 + low);
            run = i + 3;
            continue;
        }
        size_t next = i + 1;
        while (next < text.size() && (text[next] == ' ' || text[next] == '\t'))
            ++next;
        if (next < text.size() && text[next] == '\r')
            ++next;
        if (next >= text.size() || text[next] == '\n') {
            run = std::min(next + 1, text.size()); // a soft line break
        } else {
            out += '=';
            run = i + 1;
        }
    }
    out.append(text.data() + run, text.size() - run);
    return out;
}

// The part's content with its transfer encoding undone and, when `charset`
// is given, converted to UTF-8 on the way; read until at least `want` bytes
// are there or the content ends.
std::string ReadContent(GMimeDataWrapper* content, GMimeFilter* charset, size_t want) {
    std::string bytes;
    GMimeStream* source = g_mime_data_wrapper_get_stream(content);
    if (!source || g_mime_stream_reset(source) == -1)
        return bytes;
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    // Quoted-printable is the bulk of newsletter text; undone here it costs
    // a fraction of the stream filter's per-byte steps.
    const bool quoted = encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE && !charset;
    const bool decode = !quoted && (encoding == GMIME_CONTENT_ENCODING_BASE64 ||
                                    encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
                                    encoding == GMIME_CONTENT_ENCODING_UUENCODE);
    CRef<GMimeStream> filtered(decode || charset ? g_mime_stream_filter_new(source) : nullptr);
    if (decode) {
        CRef<GMimeFilter> decoder(g_mime_filter_basic_new(encoding, FALSE));
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.Object), decoder.Object);
    }
    if (charset)
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.Object), charset);
    if (quoted)
        want = want * 3 + 2; // "=XX" per byte at most
    GMimeStream* from = filtered.Object ? filtered.Object : source;
    const gint64 length = g_mime_stream_length(source);
    bytes.reserve(std::min(want, length > 0 ? static_cast<size_t>(length) : kReadChunk) + 16);
    char buffer[kReadChunk];
    while (bytes.size() < want) {
        const ssize_t got = g_mime_stream_read(from, buffer, sizeof buffer);
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return quoted ? DecodeQuotedPrintable(bytes) : bytes;
}

// The part's text as UTF-8, at least `want` bytes of it when it has them.
std::string PartText(GMimePart* part, size_t want) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
    const char* charset = type ? g_mime_content_type_get_parameter(type, "charset") : nullptr;
    std::string text;
    if (!charset || !*charset ||
        IsOneOf(charset, {"us-ascii", "ascii", "utf-8", "utf8", "iso-8859-1", "iso8859-1", "latin1",
                          "windows-1252", "cp1252"})) {
        // The common charsets without iconv: ASCII and Latin-1 labels are
        // often wrong, and valid UTF-8 under them is what the sender meant.
        const std::string raw = ReadContent(content, nullptr, want);
        if (charset && IsOneOf(charset, {"utf-8", "utf8"}))
            AppendValidUtf8(text, raw);
        else
            AppendUtf8OrWindows1252(text, raw);
        return text;
    }
    CRef<GMimeFilter> filter(g_mime_filter_charset_new(charset, "UTF-8"));
    const std::string raw = ReadContent(content, filter.Object, want);
    if (filter.Object)
        AppendValidUtf8(text, raw);
    else
        AppendUtf8OrWindows1252(text, raw); // a charset iconv does not know
    return text;
}

std::string PlainText(std::string_view text, size_t limit) {
    std::string out;
    out.reserve(std::min(text.size(), limit) + 4);
    size_t from = 0;
    while (from < text.size() && out.size() < limit) {
        size_t cr = text.find('\r', from);
        if (cr == std::string_view::npos)
            cr = text.size();
        out.append(text.data() + from, cr - from);
        from = cr + 1;
        if (cr < text.size() && (from >= text.size() || text[from] != '\n'))
            out += '\n'; // a lone CR ends a line too
    }
    while (!out.empty() && IsBlank(out.back()))
        out.pop_back();
    return out;
}

// The start of the line after the one starting at `from`, or the end.
size_t NextLine(std::string_view text, size_t from) {
    const void* lineFeed = std::memchr(text.data() + from, '\n', text.size() - from);
    return lineFeed ? static_cast<size_t>(static_cast<const char*>(lineFeed) - text.data()) + 1
                    : text.size();
}

// A field name (printable ASCII but ':') and its colon.
bool StartsField(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':')
            return i > from;
        if (c <= ' ' || c > '~')
            return false;
    }
    return false;
}

// `message` with every header field longer than kMaxHeaderField cut to
// that length. GMime's header parser copies a growing field again and
// again when realloc cannot grow it in place; bounded fields keep the
// whole parse linear. Body lines are looked at only when they are that
// long, and only one that looks like a field is cut.
std::string_view CapHeaderFields(std::string_view message, std::string& storage) {
    size_t copied = 0;
    for (size_t at = 0; at < message.size();) {
        size_t end = NextLine(message, at);
        while (end < message.size() && (message[end] == ' ' || message[end] == '\t'))
            end = NextLine(message, end);
        if (end - at > kMaxHeaderField && StartsField(message, at)) {
            // Cut between characters, or the whole field would look like Latin-1.
            size_t cut = at + CutLength(message.substr(at, end - at), kMaxHeaderField);
            while (cut > at && (message[cut - 1] == '\r' || message[cut - 1] == '\n'))
                --cut;
            if (storage.empty())
                storage.reserve(message.size());
            storage.append(message.substr(copied, cut - copied));
            storage += "\r\n";
            copied = end;
        }
        at = end;
    }
    if (copied == 0)
        return message;
    storage.append(message.substr(copied));
    return storage;
}

struct CWalk {
    std::string Text;
    int Parts = 0;
    bool Full() const { return Text.size() >= kMaxDecodedText || Parts >= kMaxParts; }
};

void AddPart(GMimePart* part, CWalk& walk) {
    GMimeObject* object = GMIME_OBJECT(part);
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition && g_mime_content_disposition_is_attachment(disposition))
        return;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool html = type && g_mime_content_type_is_type(type, "text", "html");
    if (!html && !(type && g_mime_content_type_is_type(type, "text", "plain")))
        return;
    // Room for the separating line break and a character cut at the end.
    const size_t room = kMaxDecodedText - walk.Text.size() + 8;
    const std::string text = PartText(part, html ? kMaxHtmlSource : room);
    std::string piece = html ? HtmlToText(text, room) : PlainText(text, room);
    if (piece.empty())
        return;
    if (!walk.Text.empty())
        walk.Text += '\n';
    walk.Text += piece;
}

void Walk(GMimeObject* object, int depth, CWalk& walk) {
    if (!object || depth > kMaxDepth || walk.Full())
        return;
    ++walk.Parts;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count && !walk.Full(); ++i)
            Walk(g_mime_multipart_get_part(multipart, i), depth + 1, walk);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner)
            Walk(g_mime_message_get_mime_part(inner), depth + 1, walk);
    } else if (GMIME_IS_PART(object)) {
        AddPart(GMIME_PART(object), walk);
    }
}

// The first mailbox of the list, groups looked into.
const char* FirstAddress(InternetAddressList* list, int depth = 0) {
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const char* text = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
            if (text && std::strchr(text, '@'))
                return text;
        } else if (INTERNET_ADDRESS_IS_GROUP(address) && depth == 0) {
            if (const char* text = FirstAddress(
                    internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), 1))
                return text;
        }
    }
    return nullptr;
}

void ReadFrom(GMimeMessage* message, DecodedMail& mail) {
    InternetAddressList* from = g_mime_message_get_from(message);
    if (from && internet_address_list_length(from) > 0) {
        char* text = internet_address_list_to_string(from, nullptr, FALSE);
        mail.From = FoldBlanks(ValidUtf8(text ? text : ""));
        g_free(text);
    } else if (const char* raw = g_mime_object_get_header(GMIME_OBJECT(message), "From")) {
        mail.From = FoldBlanks(DecodeHeaderText(raw));
    }
    if (const char* address = FirstAddress(from)) {
        std::string text = ValidUtf8(address);
        for (size_t i = text.rfind('@') + 1; i < text.size(); ++i)
            text[i] = Lower(text[i]);
        mail.FromAddress = std::move(text);
    }
}
} // namespace

DecodedMail DecodeMail(std::string_view message) {
    DecodedMail mail;
    GMimeParserOptions* options = ParserOptions();
    std::string capped;
    const std::string_view text = CapHeaderFields(message, capped);
    CRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    CRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.Object));
    g_mime_parser_set_format(parser.Object, GMIME_FORMAT_MESSAGE);
    CRef<GMimeMessage> parsed(g_mime_parser_construct_message(parser.Object, options));
    if (!parsed.Object)
        return mail;
    mail.Parsed = true;
    ReadFrom(parsed.Object, mail);
    if (const char* subject = g_mime_message_get_subject(parsed.Object))
        mail.Subject = FoldBlanks(ValidUtf8(subject));
    CWalk walk;
    Walk(g_mime_message_get_mime_part(parsed.Object), 0, walk);
    walk.Text.resize(CutLength(walk.Text, kMaxDecodedText));
    mail.Text = std::move(walk.Text);
    return mail;
}

std::string_view MessageOfFetchedText(std::string_view text) {
    const size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos)
        return {};
    std::string_view first = text.substr(0, lineEnd);
    std::string_view message = text.substr(lineEnd + 1);
    if (first.ends_with('\r'))
        first.remove_suffix(1);
    // IMAP: the literal's size ends the line; what follows it is the reply's.
    if (first.ends_with('}')) {
        const size_t open = first.rfind('{');
        size_t size = 0;
        bool digits = open != std::string_view::npos && open + 2 < first.size();
        for (size_t at = open + 1; digits && at + 1 < first.size(); ++at) {
            digits = first[at] >= '0' && first[at] <= '9' && size < (size_t{1} << 40);
            size = size * 10 + static_cast<size_t>(first[at] - '0');
        }
        return digits ? message.substr(0, std::min(size, message.size())) : message;
    }
    // POP3: the end marker is the reply's, not the message's.
    // The line end before the dot belongs to the last line.
    if (message.ends_with("\r\n.\r\n"))
        message.remove_suffix(3);
    else if (message.ends_with("\n.\n"))
        message.remove_suffix(2);
    return message;
}

std::string DecodeHeaderText(std::string_view value) {
    GMimeParserOptions* options = ParserOptions();
    std::string input;
    AppendUtf8OrWindows1252(input, value.substr(0, CutLength(value, kMaxHeaderField)));
    std::replace(input.begin(), input.end(), '\0', ' '); // it would end the C string
    char* decoded = g_mime_utils_header_decode_text(options, input.c_str());
    std::string text = ValidUtf8(decoded ? decoded : "");
    g_free(decoded);
    return text;
}

std::string FirstLinesOf(std::string_view text, int lines, size_t maxBytes) {
    std::string out;
    size_t from = 0;
    for (int taken = 0; taken < lines && from < text.size() && out.size() < maxBytes;) {
        size_t end = text.find('\n', from);
        if (end == std::string_view::npos)
            end = text.size();
        size_t first = from;
        size_t last = end;
        while (first < last && IsBlank(text[first]))
            ++first;
        while (last > first && IsBlank(text[last - 1]))
            --last;
        if (last > first) {
            if (!out.empty())
                out += '\n';
            // A character cut at maxBytes needs up to three bytes behind it.
            out.append(text.substr(first, std::min(last - first, maxBytes - out.size() + 4)));
            ++taken;
        }
        from = end + 1;
    }
    out.resize(CutLength(out, maxBytes));
    return out;
}
