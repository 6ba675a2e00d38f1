#include "filter/text_search.h"

#include <string>

CLinearSearch::CLinearSearch(std::string_view pattern)
    : pattern_(pattern), border_(pattern.size()) {
    size_t k = 0;
    for (size_t i = 1; i < pattern_.size(); ++i) {
        while (k > 0 && pattern_[i] != pattern_[k])
            k = border_[k - 1];
        if (pattern_[i] == pattern_[k])
            ++k;
        border_[i] = k;
    }
}

size_t CLinearSearch::Find(std::string_view text, size_t from) const {
    if (from > text.size())
        return std::string::npos;
    if (pattern_.empty())
        return from;
    size_t k = 0;
    for (size_t i = from; i < text.size(); ++i) {
        while (k > 0 && text[i] != pattern_[k])
            k = border_[k - 1];
        if (text[i] == pattern_[k])
            ++k;
        if (k == pattern_.size())
            return i + 1 - k;
    }
    return std::string::npos;
}
