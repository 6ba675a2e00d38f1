#pragma once
// The byte format of one history record:
//   Date|From|Subject|Reason|||-*-*-||Body >>==<ZRKENDMSG>==<<CR LF
// A "|" in Date, From, Subject or Reason would shift the fields when read
// back, and an end marker in any field would split the record: the writer
// puts visible substitutes in their place. The reader decodes nothing, so
// files written before the substitutes load as they always did.
#include "filter/history_entry.h"

#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kHistorySeparator = "||-*-*-||";
inline constexpr std::string_view kHistoryEndMarker = ">>==<ZRKENDMSG>==<<";
// What a stored record holds instead of a "|" in a field before the body,
// and instead of the end marker anywhere.
inline constexpr char kHistoryBarSubstitute = '!';
inline constexpr std::string_view kHistoryEndMarkerSubstitute = ">>==[ZRKENDMSG]==<<";

// A field before the body as a stored record holds it: every "|" and end
// marker replaced. Compare fields in this form, since a record read back
// from the file holds nothing else.
std::string StoredHistoryField(std::string_view field);

void AppendHistoryRecord(std::string& out, const HistoryEntry& entry);

// Splits a file's text into entries. `completeBytes` is the length of the
// prefix that holds complete records; a trailing piece without its end
// marker (a torn last record) is ignored.
std::vector<HistoryEntry> ParseHistoryText(std::string_view text, size_t& completeBytes);
