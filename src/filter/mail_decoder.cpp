#include "filter/mail_decoder.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <mutex>

namespace {
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

// ---- UTF-8 ----

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at `p` (no overlong forms,
// no surrogates, nothing above U+10FFFF), 0 when there is none.
size_t SequenceLength(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    auto tail = [&](size_t i) { return i < left && (p[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return tail(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 2 || (c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] > 0x9F))
            return 0;
        return tail(1) && tail(2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 2 || (c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] > 0x8F))
            return 0;
        return tail(1) && tail(2) && tail(3) ? 4 : 0;
    }
    return 0;
}

// Where the first byte at or after `i` above 0x7F is; mail text is mostly
// ASCII, so eight bytes are looked at a time.
size_t SkipAscii(const unsigned char* p, size_t i, size_t size) {
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080u)
            break;
    }
    while (i < size && p[i] < 0x80)
        ++i;
    return i;
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = SkipAscii(p, 0, text.size()); i < text.size();
         i = SkipAscii(p, i, text.size())) {
        const size_t length = SequenceLength(p + i, text.size() - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

// `text` with every byte that starts no well-formed sequence replaced.
void AppendValidUtf8(std::string& out, std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t run = 0; // start of the valid bytes not yet copied
    for (size_t i = SkipAscii(p, 0, text.size()); i < text.size();
         i = SkipAscii(p, i, text.size())) {
        const size_t length = SequenceLength(p + i, text.size() - i);
        if (length != 0) {
            i += length;
            continue;
        }
        out.append(text.data() + run, i - run);
        out += kReplacement;
        run = ++i;
    }
    out.append(text.data() + run, text.size() - run);
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendValidUtf8(out, text);
    return out;
}

// Windows-1252 where it differs from Latin-1; its five unused bytes stay
// the C1 controls they are in Latin-1.
constexpr std::array<uint16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t Windows1252(unsigned char c) {
    return c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : c;
}

void AppendWindows1252(std::string& out, std::string_view text) {
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
            continue;
        out.append(text.data() + run, i - run);
        AppendUtf8(out, Windows1252(c));
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

// Valid UTF-8 is kept; anything else is taken for Windows-1252.
void AppendUtf8OrWindows1252(std::string& out, std::string_view text) {
    if (IsValidUtf8(text)) {
        out.append(text);
    } else {
        out.reserve(out.size() + text.size() + text.size() / 2);
        AppendWindows1252(out, text);
    }
}

// The longest prefix of valid UTF-8 `text` of at most `maxBytes` bytes that
// ends at a character boundary.
size_t CutLength(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    size_t length = maxBytes;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return length;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string FoldBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool blank = false;
    for (char c : text) {
        if (IsBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// ---- HTML ----

struct Entity {
    std::string_view Name;
    uint32_t Code;
};

// Sorted by name (byte order) for the binary search. Code 0: the entity
// stands for nothing visible.
constexpr Entity kEntities[] = {
    {"AElig", 0xC6},    {"Aacute", 0xC1},   {"Acirc", 0xC2},    {"Agrave", 0xC0},
    {"Aring", 0xC5},    {"Atilde", 0xC3},   {"Auml", 0xC4},     {"Ccedil", 0xC7},
    {"Dagger", 0x2021}, {"ETH", 0xD0},      {"Eacute", 0xC9},   {"Ecirc", 0xCA},
    {"Egrave", 0xC8},   {"Euml", 0xCB},     {"Iacute", 0xCD},   {"Icirc", 0xCE},
    {"Igrave", 0xCC},   {"Iuml", 0xCF},     {"Ntilde", 0xD1},   {"OElig", 0x152},
    {"Oacute", 0xD3},   {"Ocirc", 0xD4},    {"Ograve", 0xD2},   {"Oslash", 0xD8},
    {"Otilde", 0xD5},   {"Ouml", 0xD6},     {"Scaron", 0x160},  {"THORN", 0xDE},
    {"Uacute", 0xDA},   {"Ucirc", 0xDB},    {"Ugrave", 0xD9},   {"Uuml", 0xDC},
    {"Yacute", 0xDD},   {"Yuml", 0x178},    {"aacute", 0xE1},   {"acirc", 0xE2},
    {"acute", 0xB4},    {"aelig", 0xE6},    {"agrave", 0xE0},   {"amp", '&'},
    {"apos", '\''},     {"aring", 0xE5},    {"atilde", 0xE3},   {"auml", 0xE4},
    {"bdquo", 0x201E},  {"brvbar", 0xA6},   {"bull", 0x2022},   {"ccedil", 0xE7},
    {"cedil", 0xB8},    {"cent", 0xA2},     {"circ", 0x2C6},    {"copy", 0xA9},
    {"curren", 0xA4},   {"dagger", 0x2020}, {"darr", 0x2193},   {"deg", 0xB0},
    {"divide", 0xF7},   {"eacute", 0xE9},   {"ecirc", 0xEA},    {"egrave", 0xE8},
    {"emsp", ' '},      {"ensp", ' '},      {"eth", 0xF0},      {"euml", 0xEB},
    {"euro", 0x20AC},   {"frac12", 0xBD},   {"frac14", 0xBC},   {"frac34", 0xBE},
    {"ge", 0x2265},     {"gt", '>'},        {"hearts", 0x2665}, {"hellip", 0x2026},
    {"iacute", 0xED},   {"icirc", 0xEE},    {"iexcl", 0xA1},    {"igrave", 0xEC},
    {"infin", 0x221E},  {"iquest", 0xBF},   {"iuml", 0xEF},     {"laquo", 0xAB},
    {"larr", 0x2190},   {"ldquo", 0x201C},  {"le", 0x2264},     {"lrm", 0},
    {"lsaquo", 0x2039}, {"lsquo", 0x2018},  {"lt", '<'},        {"macr", 0xAF},
    {"mdash", 0x2014},  {"micro", 0xB5},    {"middot", 0xB7},   {"nbsp", ' '},
    {"ndash", 0x2013},  {"ne", 0x2260},     {"not", 0xAC},      {"ntilde", 0xF1},
    {"oacute", 0xF3},   {"ocirc", 0xF4},    {"oelig", 0x153},   {"ograve", 0xF2},
    {"ordf", 0xAA},     {"ordm", 0xBA},     {"oslash", 0xF8},   {"otilde", 0xF5},
    {"ouml", 0xF6},     {"para", 0xB6},     {"permil", 0x2030}, {"plusmn", 0xB1},
    {"pound", 0xA3},    {"prime", 0x2032},  {"quot", '"'},      {"raquo", 0xBB},
    {"rarr", 0x2192},   {"rdquo", 0x201D},  {"reg", 0xAE},      {"rlm", 0},
    {"rsaquo", 0x203A}, {"rsquo", 0x2019},  {"sbquo", 0x201A},  {"scaron", 0x161},
    {"sect", 0xA7},     {"shy", 0},         {"sup1", 0xB9},     {"sup2", 0xB2},
    {"sup3", 0xB3},     {"szlig", 0xDF},    {"thinsp", ' '},    {"thorn", 0xFE},
    {"tilde", 0x2DC},   {"times", 0xD7},    {"trade", 0x2122},  {"uacute", 0xFA},
    {"uarr", 0x2191},   {"ucirc", 0xFB},    {"ugrave", 0xF9},   {"uml", 0xA8},
    {"uuml", 0xFC},     {"yacute", 0xFD},   {"yen", 0xA5},      {"yuml", 0xFF},
    {"zwj", 0},         {"zwnj", 0}};

static_assert(std::is_sorted(std::begin(kEntities), std::end(kEntities),
                             [](const Entity& a, const Entity& b) { return a.Name < b.Name; }));

const Entity* FindEntity(std::string_view name) {
    const Entity* end = std::end(kEntities);
    const Entity* found = std::lower_bound(
        std::begin(kEntities), end, name,
        [](const Entity& entity, std::string_view key) { return entity.Name < key; });
    return found != end && found->Name == name ? found : nullptr;
}

enum class TagKind { Inline, Block, Cell, Hidden, Head };

// Block tags end a line of text, table cells only separate words, scripts
// and styles hide what they hold. Compared by length first: this runs for
// every tag of every HTML part.
TagKind KindOf(std::string_view n) {
    using enum TagKind;
    switch (n.size()) {
    case 1:
        return n == "p" ? Block : Inline;
    case 2:
        if (n == "td" || n == "th")
            return Cell;
        return n == "br" || n == "li" || n == "tr" || n == "hr" || n == "ul" || n == "ol" ||
                       n == "dd" || n == "dl" || n == "dt" ||
                       (n[0] == 'h' && n[1] >= '1' && n[1] <= '6')
                   ? Block
                   : Inline;
    case 3:
        return n == "div" || n == "pre" ? Block : Inline;
    case 4:
        if (n == "head")
            return Head;
        return n == "form" ? Block : Inline;
    case 5:
        return n == "table" || n == "title" || n == "tbody" || n == "thead" || n == "tfoot"
                   ? Block
                   : (n == "style" ? Hidden : Inline);
    case 6:
        if (n == "script")
            return Hidden;
        return n == "center" || n == "header" || n == "footer" ? Block : Inline;
    case 7:
        return n == "address" || n == "article" || n == "section" ? Block : Inline;
    case 10:
        return n == "blockquote" ? Block : Inline;
    default:
        return Inline;
    }
}

// What the HTML pass stops at: '<', '&' and the blanks.
constexpr std::array<uint8_t, 256> kHtmlStops = [] {
    std::array<uint8_t, 256> stops{};
    for (char c : {'<', '&', ' ', '\t', '\r', '\n', '\f', '\v'})
        stops[static_cast<unsigned char>(c)] = 1;
    return stops;
}();

// The text a browser would show, one pass over the source. Blanks are
// collapsed as they are written; block tags end lines.
class CHtmlText {
  public:
    CHtmlText(std::string_view html, size_t limit) : Html(html), Limit(limit) {
        Out.reserve(std::min(html.size(), limit) + 16);
    }

    std::string Run() {
        size_t i = 0;
        const size_t n = Html.size();
        while (i < n && Out.size() < Limit) {
            const char c = Html[i];
            if (c == '<') {
                i = Tag(i);
            } else if (c == '&') {
                i = Reference(i);
            } else if (IsBlank(c)) {
                Blank();
                ++i;
            } else {
                size_t end = i + 1;
                while (end < n && !kHtmlStops[static_cast<unsigned char>(Html[end])])
                    ++end;
                Write(Html.substr(i, end - i));
                i = end;
            }
        }
        while (!Out.empty() && Out.back() == '\n')
            Out.pop_back();
        return std::move(Out);
    }

  private:
    void Blank() {
        if (!Out.empty() && Out.back() != '\n')
            PendingBlank = true;
    }
    void Break() {
        PendingBlank = false;
        if (!Out.empty() && Out.back() != '\n')
            Out += '\n';
    }
    void Write(std::string_view text) {
        if (PendingBlank)
            Out += ' ';
        PendingBlank = false;
        Out.append(text);
    }
    void WriteCode(uint32_t code) {
        if (code == ' ' || code == '\t' || code == '\n' || code == '\r' || code == '\f') {
            Blank();
            return;
        }
        if (code == 0 || code == 0xAD || (code >= 0x200B && code <= 0x200F) || code == 0x2060 ||
            code == 0xFEFF)
            return; // invisible: it must not split the words it sits in
        if (code < 0x20)
            return;
        if (code >= 0x80 && code < 0xA0)
            code = Windows1252(static_cast<unsigned char>(code));
        if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            code = 0xFFFD;
        if (code == 0xA0) {
            Blank();
            return;
        }
        if (PendingBlank)
            Out += ' ';
        PendingBlank = false;
        AppendUtf8(Out, code);
    }

    // `name` from `from` (letters and digits), lower-cased, at most 15
    // characters kept; returns where the name ends.
    size_t TagName(size_t from, std::string& name) const {
        size_t i = from;
        while (i < Html.size() && IsAlnum(Html[i])) {
            if (name.size() < 15)
                name += Lower(Html[i]);
            ++i;
        }
        return i;
    }

    // Behind the '>' that ends the tag starting before `from`; quoted
    // attribute values may hold '>'. A tag never closed runs to the end,
    // as in a browser, which also keeps the pass linear.
    size_t TagEnd(size_t from) const {
        char quote = 0;
        char previous = 0;
        for (size_t i = from; i < Html.size(); ++i) {
            const char c = Html[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '>') {
                return i + 1;
            } else if ((c == '"' || c == '\'') && previous == '=') {
                quote = c;
            }
            if (!IsBlank(c))
                previous = c;
        }
        return Html.size();
    }

    // Where "</name" next starts (case-insensitive), from `from` on; for
    // the head also where a body starts that was not preceded by its end.
    size_t ClosingTag(size_t from, std::string_view name) const {
        const bool head = name == "head";
        for (size_t i = Html.find('<', from); i != std::string_view::npos;
             i = Html.find('<', i + 1)) {
            size_t at = i + 1;
            const bool closing = at < Html.size() && Html[at] == '/';
            if (closing)
                ++at;
            else if (!head)
                continue;
            std::string found;
            const size_t end = TagName(at, found);
            if (end > at && ((closing && found == name) || (head && found == "body")))
                return i;
        }
        return std::string_view::npos;
    }

    size_t Tag(size_t at) {
        const size_t n = Html.size();
        if (at + 1 >= n) {
            Write("<");
            return n;
        }
        const char next = Html[at + 1];
        if (next == '!') {
            if (Html.compare(at, 4, "<!--") == 0) {
                const size_t end = Html.find("-->", at + 4);
                return end == std::string_view::npos ? n : end + 3;
            }
            return TagEnd(at + 2);
        }
        if (next == '?')
            return TagEnd(at + 2);
        const bool closing = next == '/';
        const size_t nameStart = at + (closing ? 2 : 1);
        if (nameStart >= n || !((Html[nameStart] >= 'a' && Html[nameStart] <= 'z') ||
                                (Html[nameStart] >= 'A' && Html[nameStart] <= 'Z'))) {
            Write("<"); // a lone '<' in the text
            return at + 1;
        }
        std::string name;
        const size_t end = TagEnd(TagName(nameStart, name));
        const TagKind kind = KindOf(name);
        if (!closing && (kind == TagKind::Hidden || (kind == TagKind::Head && !HeadUnclosed))) {
            const size_t close = ClosingTag(end, name);
            if (close != std::string_view::npos)
                return kind == TagKind::Head && Html[close + 1] != '/' ? close : TagEnd(close + 2);
            if (kind == TagKind::Hidden)
                return n;
            HeadUnclosed = true; // its text shows; no later head is searched for again
            return end;
        }
        if (kind == TagKind::Block)
            Break();
        else if (kind == TagKind::Cell)
            Blank();
        return end;
    }

    // A character reference, or a plain '&' when it is none.
    size_t Reference(size_t at) {
        const size_t n = Html.size();
        size_t i = at + 1;
        if (i < n && Html[i] == '#') {
            ++i;
            const bool hex = i < n && (Html[i] == 'x' || Html[i] == 'X');
            if (hex)
                ++i;
            uint32_t code = 0;
            const size_t digits = i;
            while (i < n) {
                const char c = Lower(Html[i]);
                uint32_t digit;
                if (c >= '0' && c <= '9')
                    digit = static_cast<uint32_t>(c - '0');
                else if (hex && c >= 'a' && c <= 'f')
                    digit = static_cast<uint32_t>(c - 'a' + 10);
                else
                    break;
                code = std::min<uint32_t>(code * (hex ? 16 : 10) + digit, 0x110000);
                ++i;
            }
            if (i == digits) {
                Write("&");
                return at + 1;
            }
            if (i < n && Html[i] == ';')
                ++i;
            WriteCode(code == 0 ? 0xFFFD : code);
            return i;
        }
        while (i < n && i - at <= 8 && IsAlnum(Html[i]))
            ++i;
        const std::string_view name = Html.substr(at + 1, i - at - 1);
        const Entity* entity = FindEntity(name);
        const bool terminated = i < n && Html[i] == ';';
        // Browsers take the oldest ones without their ';' too.
        if (entity && (terminated || name == "amp" || name == "lt" || name == "gt" ||
                       name == "quot" || name == "nbsp")) {
            WriteCode(entity->Code);
            return terminated ? i + 1 : i;
        }
        Write("&");
        return at + 1;
    }

    std::string_view Html;
    size_t Limit;
    std::string Out;
    bool PendingBlank = false;
    bool HeadUnclosed = false;
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
    std::string piece = html ? CHtmlText(text, room).Run() : PlainText(text, room);
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
