#include "filter/html_text.h"

#include "filter/mail_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {
using namespace mail_text;

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
} // namespace

std::string HtmlToText(std::string_view html, size_t limit) {
    return CHtmlText(html, limit).Run();
}
