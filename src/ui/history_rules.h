#pragma once
// The history viewer's rules, apart from its window: which records a date
// mode lists, and how a record's body and reason are prepared for showing.
#include "platform/date_time.h"

#include <optional>
#include <string>
#include <string_view>

enum class HistoryMode { Before = 0, Between = 1, After = 2 };

// A record's date as the viewer compares it: the stored text without its
// first five characters (weekday, comma, blank), at 00:00. Empty when the
// parser cannot read it.
std::optional<LocalDateTime> ParseHistoryDate(const std::string& dateText);

// Before: not later than d1. Between: neither earlier than d1 nor later than
// d2. After: not on a calendar day before d1's. A record whose date cannot be
// read has no place in the order; it is listed in every mode so that it can
// always be found.
bool IsHistoryRecordListed(HistoryMode mode, const std::optional<LocalDateTime>& date,
                           const LocalDateTime& d1, const LocalDateTime& d2);

// Removes every "<...>" span: the first "<" up to the first ">" after it,
// again and again, until no "<" has a ">" after it.
std::string StripTags(std::string_view body);

// The reason column's text after lookup: line breaks expanded, then the
// first CR and the first LF removed.
std::string PrepareReasonText(std::string looked);
