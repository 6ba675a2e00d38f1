// Platform stand-ins: dates and the file layer (numbers: the settings tests; the instance
// lock: the process tests).
#include "platform/date_time.h"
#include "platform/text_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
TEST(Dates, MailAndIsoFormsParseTheRestFailsAndDaysCountByTheCalendar) {
    const std::pair<const char*, LocalDateTime> good[] = {
        {"18 Sep 2003", {2003, 9, 18}},
        {" 4 Sep 2003", {2003, 9, 4}},
        {"4 sept 2003 ", {2003, 9, 4}},
        {"05 DECEMBER 2026", {2026, 12, 5}},
        {"18 Sep 2003 7:05", {2003, 9, 18, 7, 5, 0}},
        {"18 Sep 2003 17:05:09", {2003, 9, 18, 17, 5, 9}},
        {"2003-09-18", {2003, 9, 18}},
        {"29 Feb 2024", {2024, 2, 29}}};
    for (const auto& [text, expected] : good) {
        LocalDateTime parsed;
        EXPECT_TRUE(ParseDateTime(text, parsed) && parsed == expected) << text;
    }
    for (const char* bad :
         {"29 Feb 2023", "18 Sep 03", "31 Apr 2003", "", "Thu, 18 Sep 2003", "18 Sep 2003 25:00",
          "18 Foo 2003", "2003-9-18", "18 Sep 2003 junk", "123 Sep 2003"}) {
        LocalDateTime parsed;
        EXPECT_FALSE(ParseDateTime(bad, parsed)) << bad;
    }
    // Calendar days across months, years, leap days and a DST night.
    EXPECT_EQ(CalendarSecondsBetween({2003, 8, 31}, {2003, 9, 6}), 6 * 86400);
    EXPECT_EQ(CalendarSecondsBetween({2023, 12, 31}, {2024, 3, 1}), 61 * 86400);
    EXPECT_EQ(CalendarSecondsBetween({2026, 3, 28, 12}, {2026, 3, 29, 12}), 86400);
    EXPECT_EQ(CalendarSecondsBetween({2003, 9, 6}, {2003, 9, 1}), -5 * 86400);
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
}

// A whole read skips a byte-order mark, and a read error fails it (line reads: the
// list files' tests); new files are owner-only whatever the umask, old ones keep theirs.
TEST(TextFile, ByteOrderMarkReadErrorsAndModes) {
    CTempDir dir;
    const std::string bom(kByteOrderMark), text("a\r\nb\0c\nlast", 11);
    dir.Write("f", bom + text);
    std::string read;
    EXPECT_TRUE(ReadWholeFile(dir.File("f"), read) == ReadResult::Ok && read == text);
    EXPECT_EQ(ReadWholeFile(dir.File("none"), read), ReadResult::Missing);
    EXPECT_EQ(ReadWholeFile(dir.Path(), read), ReadResult::Failed);
    gTextFileReadFails = [](int64_t position) { return position > 3; };
    EXPECT_EQ(ReadWholeFile(dir.File("f"), read), ReadResult::Failed);
    gTextFileReadFails = nullptr;
    EXPECT_EQ(read, "");

    const mode_t oldMask = umask(022);
    chmod(dir.File("f").c_str(), 0640);
    EXPECT_TRUE(ReplaceFileAtomically(dir.File("f"), "new") &&
                ReplaceFileAtomically(dir.File("created"), "") &&
                CTextFile().Open(dir.File("appended"), CTextFile::Mode::AppendCreate));
    umask(oldMask);
    for (const auto& [name, mode] :
         {std::pair{"f", 0640u}, {"created", 0600u}, {"appended", 0600u}}) {
        struct stat st {};
        EXPECT_TRUE(stat(dir.File(name).c_str(), &st) == 0 && (st.st_mode & 0777) == mode) << name;
    }
    EXPECT_FALSE(ReplaceFileAtomically(dir.File("no/such/dir/f"), "x"));
}
} // namespace
