#pragma once
#include <string>

// Turns "*" into a line break (CR LF) and "**" into one "*", in place. Text
// without "*" is left as it is.
void ExpandLineBreaks(std::string& text);

// Language files: section "Tarnwick", keys are text ids, values at most 999
// characters.
inline constexpr const char* kLanguageSection = "Tarnwick";
inline constexpr size_t kLanguageBufferSize = 1000;
