// The INI engine: what readers see and what writes leave in the file.
#include "platform/profile.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {
std::string Read(const CTempDir& dir, const char* section, const char* key, size_t buffer = 100) {
    return GetPrivateProfileStringA(section, key, "DEF", buffer, dir.File("p.ini"));
}

TEST(ProfileRead, YieldsValueOrDefault) {
    struct {
        const char *Name, *File, *Section, *Key;
        size_t Buffer;
        const char* Expected;
    } cases[] = {
        {"plain", "[S]\r\nk=v\r\n", "S", "k", 100, "v"},
        {"case_insensitive_names", "[SeTtInGs]\nKEY=1\n", "settings", "key", 100, "1"},
        {"blanks_trimmed", "[S]\n  k  =  two words  \n", "S", "k", 100, "two words"},
        {"quotes_removed", "[S]\nk=\" lead\"\n", "S", "k", 100, " lead"},
        {"inner_quote_kept", "[S]\nk=a\"b\n", "S", "k", 100, "a\"b"},
        {"empty_value_counts", "[S]\nk=\n", "S", "k", 100, ""},
        {"key_in_other_section", "[A]\nk=1\n[S]\nx=2\n", "S", "k", 100, "DEF"},
        {"missing_section", "k=1\n", "S", "k", 100, "DEF"},
        {"first_section_wins", "[S]\nk=1\n[S]\nk=2\n", "S", "k", 100, "1"},
        {"cut_to_buffer", "[S]\nk=123456789\n", "S", "k", 5, "1234"},
        {"default_cut_too", "[S]\n", "S", "k", 3, "DE"},
        {"value_with_equals", "[S]\nk=a=b\n", "S", "k", 100, "a=b"},
        {"comment_not_a_key", "[S]\n;k=1\nk=2\n", "S", "k", 100, "2"},
    };
    CTempDir dir;
    EXPECT_EQ(Read(dir, "S", "k"), "DEF"); // no file
    for (const auto& c : cases) {
        dir.Write("p.ini", c.File);
        EXPECT_EQ(Read(dir, c.Section, c.Key, c.Buffer), c.Expected) << c.Name;
    }
}

TEST(ProfileWrite, ReplacesInPlaceAppendsAtSectionEndRemovesAndKeepsOtherLines) {
    CTempDir dir;
    dir.Write("p.ini", "; note\n[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    std::string one = "10", two = "new";
    ASSERT_TRUE(WritePrivateProfileStringA("a", "X", &one, dir.File("p.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("A", "w", &two, dir.File("p.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("B", "z", nullptr, dir.File("p.ini")));
    EXPECT_EQ(dir.Read("p.ini"), "; note\r\n[A]\r\nX=10\r\ny=2\r\nw=new\r\n\r\n[B]\r\n");
    EXPECT_EQ(Read(dir, "B", "z"), "DEF");
}

TEST(ProfileWrite, AddsMissingSectionAtEndAndCreatesFile) {
    CTempDir dir;
    std::string v = "1";
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", &v, dir.File("new.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("T", "j", &v, dir.File("new.ini")));
    EXPECT_EQ(dir.Read("new.ini"), "[S]\r\nk=1\r\n[T]\r\nj=1\r\n");
}

TEST(ProfileWrite, EveryValueReadsBackTheSame) {
    CTempDir dir;
    for (std::string value : {" leading", "trailing ", "plain", "", "a\"b\"", "\"quoted\""}) {
        ASSERT_TRUE(WritePrivateProfileStringA("S", "k", &value, dir.File("p.ini")));
        EXPECT_EQ(Read(dir, "S", "k", 1000), value);
    }
    EXPECT_EQ(dir.Read("p.ini"), "[S]\r\nk=\"\"quoted\"\"\r\n"); // enclosing quotes get quoted
}

TEST(ProfileWrite, BatchIsOneReplacementAndReadersSeeChangesAtOnce) {
    CTempDir dir;
    dir.Write("p.ini", "[S]\nk=old\n");
    EXPECT_EQ(Read(dir, "S", "k"), "old");
    CProfileWriteBatch batch(dir.File("p.ini"));
    std::string a = "1", b = "2";
    batch.Write("S", "k", &a);
    batch.Write("S", "j", &b);
    EXPECT_EQ(Read(dir, "S", "k"), "old"); // nothing reaches the file before the commit
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ(Read(dir, "S", "k") + Read(dir, "S", "j"), "12");
}
} // namespace
