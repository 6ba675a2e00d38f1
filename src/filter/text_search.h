#pragma once
// Substring search in time linear in text plus pattern, for patterns that
// come from untrusted input (std::string::find may take text x pattern).
#include <cstddef>
#include <string_view>
#include <vector>

class CLinearSearch {
  public:
    explicit CLinearSearch(std::string_view pattern);
    // Position of the first occurrence at or after `from`, or npos. An empty
    // pattern is found at `from` when from <= text.size().
    size_t Find(std::string_view text, size_t from) const;

  private:
    std::string_view pattern_;
    std::vector<size_t> border_; // KMP failure function
};
