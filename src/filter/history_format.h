#pragma once
// The byte format of one history record:
//   Date|From|Subject|Reason|||-*-*-||Body >>==<ZRKENDMSG>==<<CR LF
// Nothing is escaped; a "|" inside a field shifts the fields when read back.
#include "filter/history_entry.h"

#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kHistorySeparator = "||-*-*-||";
inline constexpr std::string_view kHistoryEndMarker = ">>==<ZRKENDMSG>==<<";

void AppendHistoryRecord(std::string& out, const HistoryEntry& entry);

// Splits a file's text into entries. `completeBytes` is the length of the
// prefix that holds complete records; a trailing piece without its end
// marker (a torn last record) is ignored.
std::vector<HistoryEntry> ParseHistoryText(std::string_view text, size_t& completeBytes);
