#pragma once
// Stand-in for the date parser and the local clock that the pipeline and the
// history viewer use. Dates are civil (local calendar) values; ages are
// computed on the calendar, so a change of daylight-saving time never moves
// a mail across a day boundary.
#include <cstdint>
#include <functional>
#include <string_view>

struct LocalDateTime {
    int Year = 1970, Month = 1, Day = 1; // Month 1..12
    int Hour = 0, Minute = 0, Second = 0;
    auto operator<=>(const LocalDateTime&) const = default;
};

// Reads "18 Sep 2003", " 4 Sep 2003", "4 Sep 2003 ", "05 Dec 2026" (day,
// English month name or abbreviation in any letter case, four-digit year),
// optionally followed by "H:MM" or "H:MM:SS", blanks around allowed; and ISO
// "2003-09-18" with the same optional time. Anything else fails, including
// two-digit years and impossible days. Without a time the result is midnight.
bool ParseDateTime(std::string_view text, LocalDateTime& out);

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day);

// Seconds from `earlier` to `later` counted on the local calendar
// (every day has 86400 seconds).
int64_t CalendarSecondsBetween(const LocalDateTime& earlier, const LocalDateTime& later);

// The current local date and time.
LocalDateTime CurrentLocalTime();

// Injected where a component needs "now", so tests can fix it.
using LocalClock = std::function<LocalDateTime()>;
