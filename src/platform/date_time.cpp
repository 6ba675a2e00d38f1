#include "platform/date_time.h"

#include <cctype>
#include <ctime>
#include <string>

namespace {
constexpr const char* kMonths[12] = {"january",   "february", "march",    "april",
                                     "may",       "june",     "july",     "august",
                                     "september", "october",  "november", "december"};

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

struct Cursor {
    std::string_view s;
    size_t i = 0;
    void SkipBlanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    }
    bool AtEnd() const { return i >= s.size(); }
    // 1..maxDigits digits; false when none.
    bool Number(int& value, size_t minDigits, size_t maxDigits) {
        size_t start = i;
        long v = 0;
        while (i < s.size() && i - start < maxDigits &&
               std::isdigit(static_cast<unsigned char>(s[i])))
            v = v * 10 + (s[i++] - '0');
        if (i - start < minDigits ||
            (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))))
            return false;
        value = static_cast<int>(v);
        return true;
    }
    bool Word(std::string& word) {
        size_t start = i;
        while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])))
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(s[i++])));
        return i > start;
    }
    bool Char(char c) {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
};

int MonthFromName(const std::string& word) {
    for (int m = 0; m < 12; ++m) {
        std::string_view full = kMonths[m];
        if (word == full || word == full.substr(0, 3) || (m == 8 && word == "sept"))
            return m + 1;
    }
    return 0;
}

// Optional " H:MM[:SS]" then only blanks.
bool TimeTail(Cursor& c, LocalDateTime& out) {
    c.SkipBlanks();
    if (c.AtEnd())
        return true;
    int h = 0, mi = 0, se = 0;
    if (!c.Number(h, 1, 2) || !c.Char(':') || !c.Number(mi, 2, 2))
        return false;
    if (c.Char(':') && !c.Number(se, 2, 2))
        return false;
    if (h > 23 || mi > 59 || se > 59)
        return false;
    c.SkipBlanks();
    if (!c.AtEnd())
        return false;
    out.Hour = h;
    out.Minute = mi;
    out.Second = se;
    return true;
}

bool Valid(int y, int m, int d) {
    return y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}
} // namespace

bool ParseDateTime(std::string_view text, LocalDateTime& out) {
    Cursor c{text};
    c.SkipBlanks();
    LocalDateTime r;
    int a = 0;
    size_t numberStart = c.i;
    if (!c.Number(a, 1, 4))
        return false;
    if (c.i - numberStart == 4 && c.Char('-')) { // ISO 2003-09-18
        int m = 0, d = 0;
        if (!c.Number(m, 2, 2) || !c.Char('-') || !c.Number(d, 2, 2))
            return false;
        if (!Valid(a, m, d))
            return false;
        r.Year = a;
        r.Month = m;
        r.Day = d;
    } else {
        if (c.i - numberStart > 2)
            return false;
        c.SkipBlanks();
        std::string word;
        if (!c.Word(word))
            return false;
        int m = MonthFromName(word);
        if (m == 0)
            return false;
        c.SkipBlanks();
        int y = 0;
        if (!c.Number(y, 4, 4) || !Valid(y, m, a))
            return false;
        r.Year = y;
        r.Month = m;
        r.Day = a;
    }
    if (!TimeTail(c, r))
        return false;
    out = r;
    return true;
}

int64_t DaysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil.
    int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t mp = (month + 9) % 12;
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t CalendarSecondsBetween(const LocalDateTime& earlier, const LocalDateTime& later) {
    auto seconds = [](const LocalDateTime& t) {
        return DaysFromCivil(t.Year, t.Month, t.Day) * 86400 + t.Hour * 3600 + t.Minute * 60 +
               t.Second;
    };
    return seconds(later) - seconds(earlier);
}

LocalDateTime CurrentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec};
}
