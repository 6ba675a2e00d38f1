#include "filter/mail_text.h"

#include <array>
#include <cstring>

namespace mail_text {
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

} // namespace mail_text
