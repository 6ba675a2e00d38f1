#include "ui/history_rules.h"

#include "store/localized_text.h"

#include <tuple>

std::optional<LocalDateTime> ParseHistoryDate(const std::string& dateText) {
    if (dateText.size() < 5)
        return std::nullopt;
    LocalDateTime parsed;
    if (!ParseDateTime(std::string_view(dateText).substr(5), parsed))
        return std::nullopt;
    parsed.Hour = parsed.Minute = parsed.Second = 0;
    return parsed;
}

bool IsHistoryRecordListed(HistoryMode mode, const std::optional<LocalDateTime>& date,
                           const LocalDateTime& d1, const LocalDateTime& d2) {
    if (!date)
        return true;
    switch (mode) {
    case HistoryMode::Before:
        return !(*date > d1);
    case HistoryMode::Between:
        return !(*date < d1) && !(*date > d2);
    case HistoryMode::After:
        return std::tie(date->Year, date->Month, date->Day) >= std::tie(d1.Year, d1.Month, d1.Day);
    }
    return true;
}

// One pass: text before the first "<" never holds a "<", so the search for
// the next span can go on where the last one was cut out.
std::string StripTags(std::string_view body) {
    std::string kept;
    kept.reserve(body.size());
    size_t pos = 0;
    while (pos < body.size()) {
        const size_t open = body.find('<', pos);
        const size_t close = open == std::string_view::npos ? open : body.find('>', open);
        if (close == std::string_view::npos) {
            kept.append(body.substr(pos));
            break;
        }
        kept.append(body.substr(pos, open - pos));
        pos = close + 1;
    }
    return kept;
}

std::string PrepareReasonText(std::string looked) {
    ExpandLineBreaks(looked);
    for (char mark : {'\r', '\n'}) {
        const size_t at = looked.find(mark);
        if (at != std::string::npos)
            looked.erase(at, 1);
    }
    return looked;
}
