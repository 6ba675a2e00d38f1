#pragma once
// Text helpers of the mail decoder: UTF-8 checked and mended, Windows-1252
// read, blanks folded, cuts at character boundaries. ASCII-only case rules:
// mail's markup and header words are ASCII.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mail_text {
// The code point's UTF-8 bytes appended.
void AppendUtf8(std::string& out, uint32_t code);
// The length of the well-formed sequence at `p`, 0 when there is none.
size_t SequenceLength(const unsigned char* p, size_t left);
// The first position at or after `i` that is not ASCII (or `size`).
size_t SkipAscii(const unsigned char* p, size_t i, size_t size);
bool IsValidUtf8(std::string_view text);
// Appended with every ill-formed sequence replaced by U+FFFD.
void AppendValidUtf8(std::string& out, std::string_view text);
std::string ValidUtf8(std::string_view text);
uint32_t Windows1252(unsigned char c);
void AppendWindows1252(std::string& out, std::string_view text);
// Valid UTF-8 as it is, anything else read as Windows-1252.
void AppendUtf8OrWindows1252(std::string& out, std::string_view text);
// The longest prefix of at most `maxBytes` that ends at a character boundary.
size_t CutLength(std::string_view text, size_t maxBytes);
// Runs of blanks and line breaks as one blank, trimmed.
std::string FoldBlanks(std::string_view text);

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
inline char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
inline bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
} // namespace mail_text
