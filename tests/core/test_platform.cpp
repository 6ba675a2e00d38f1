// Platform stand-ins: number conversion, dates, single instance, file layer.
#include "platform/date_time.h"
#include "platform/instance_lock.h"
#include "platform/numconv.h"
#include "platform/registry.h"
#include "platform/text_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
TEST(Atoi, ReadsLikeTheCLibraryAndSaturates) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {{"995x", 995},
                 {"abc", 0},
                 {"", 0},
                 {"  -3", -3},
                 {"+7", 7},
                 {"- 3", 0},
                 {"2147483647", 2147483647},
                 {"2147483648", 2147483647},
                 {"-2147483648", -2147483648},
                 {"-99999999999999999999", -2147483648},
                 {"\t\r\n 12 34", 12},
                 {"05", 5}};
    for (const auto& c : cases)
        EXPECT_EQ(Atoi(c.text), c.value) << c.text;
    EXPECT_EQ(Itoa(-42), "-42");
}

TEST(ParseDateTime, AcceptsMailAndIsoFormsAndRejectsTheRest) {
    struct Case {
        const char* text;
        bool ok;
        LocalDateTime expected;
    } cases[] = {
        {"18 Sep 2003", true, {2003, 9, 18}},
        {" 4 Sep 2003", true, {2003, 9, 4}},
        {"4 sept 2003 ", true, {2003, 9, 4}},
        {"05 DECEMBER 2026", true, {2026, 12, 5}},
        {"18 Sep 2003 7:05", true, {2003, 9, 18, 7, 5, 0}},
        {"18 Sep 2003 17:05:09", true, {2003, 9, 18, 17, 5, 9}},
        {"2003-09-18", true, {2003, 9, 18}},
        {"29 Feb 2024", true, {2024, 2, 29}},
        {"29 Feb 2023", false, {}},
        {"18 Sep 03", false, {}},
        {"31 Apr 2003", false, {}},
        {"", false, {}},
        {"Thu, 18 Sep 2003", false, {}},
        {"18 Sep 2003 25:00", false, {}},
        {"18 Foo 2003", false, {}},
        {"2003-9-18", false, {}},
        {"18 Sep 2003 junk", false, {}},
        {"123 Sep 2003", false, {}},
    };
    for (const auto& c : cases) {
        LocalDateTime parsed;
        EXPECT_EQ(ParseDateTime(c.text, parsed), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(parsed, c.expected) << c.text;
        }
    }
}

TEST(CalendarSecondsBetween, CountsCalendarDaysAcrossMonthsYearsAndLeapDays) {
    EXPECT_EQ(CalendarSecondsBetween({2003, 9, 1}, {2003, 9, 6}), 5 * 86400);
    EXPECT_EQ(CalendarSecondsBetween({2023, 12, 31}, {2024, 3, 1}), 61 * 86400);
    EXPECT_EQ(CalendarSecondsBetween({2026, 3, 28, 12}, {2026, 3, 29, 12}), 86400); // DST night
    EXPECT_EQ(CalendarSecondsBetween({2003, 9, 6}, {2003, 9, 1}), -5 * 86400);
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstEnds) {
    CTempDir dir;
    auto first = std::make_unique<CInstanceLock>();
    ASSERT_EQ(first->Acquire(dir.File("lock")), 1);
    CInstanceLock second;
    EXPECT_EQ(second.Acquire(dir.File("lock")), 0);
    first.reset();
    EXPECT_EQ(second.Acquire(dir.File("lock")), 1);
    CInstanceLock noDir;
    EXPECT_EQ(noDir.Acquire(dir.File("missing/lock")), -1);
}

TEST(Registry, ReadsValuesOfTheKeySectionOnly) {
    CTempDir dir;
    CScopedEnv env("DROSSGATE_REGISTRY", dir.File("r.ini"));
    dir.Write("r.ini",
              "[Other]\r\nPath=/wrong\r\n[software\\tarn wick\\dorn\\spurl]\r\npath=/data\r\n");
    std::string value = "unchanged";
    EXPECT_EQ(RegQueryValue("Path", value), 1);
    EXPECT_EQ(value, "/data");
    value = "unchanged";
    EXPECT_EQ(RegQueryValue("Language", value), -1);
    EXPECT_EQ(value, "unchanged");
}

TEST(TextFile, ReadLineKeepsCrAndNulBytesAndAtomicReplaceKeepsMode) {
    CTempDir dir;
    dir.Write("f", std::string("a\r\nb\0c\nlast", 11));
    CTextFile file;
    ASSERT_TRUE(file.Open(dir.File("f"), CTextFile::Mode::Read));
    std::string line;
    ASSERT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, "a\r");
    ASSERT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, std::string("b\0c", 3));
    ASSERT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(file.ReadLine(line));

    chmod(dir.File("f").c_str(), 0600);
    ASSERT_TRUE(ReplaceFileAtomically(dir.File("f"), "new"));
    EXPECT_EQ(dir.Read("f"), "new");
    struct stat st {};
    ASSERT_EQ(stat(dir.File("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(ReplaceFileAtomically(dir.File("no/such/dir/f"), "x"));
}
} // namespace
