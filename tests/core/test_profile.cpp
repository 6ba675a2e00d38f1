// The INI engine: what readers see and what writes leave in the file.
#include "platform/profile.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {
struct ReadCase {
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    size_t buffer;
    const char* expected;
};

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, YieldsValueOrDefault) {
    const ReadCase& c = GetParam();
    CTempDir dir;
    dir.Write("p.ini", c.file);
    EXPECT_EQ(GetPrivateProfileStringA(c.section, c.key, "DEF", c.buffer, dir.File("p.ini")),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        ReadCase{"plain", "[S]\r\nk=v\r\n", "S", "k", 100, "v"},
        ReadCase{"case_insensitive_names", "[SeTtInGs]\nKEY=1\n", "settings", "key", 100, "1"},
        ReadCase{"blanks_trimmed", "[S]\n  k  =  two words  \n", "S", "k", 100, "two words"},
        ReadCase{"quotes_removed", "[S]\nk=\" lead\"\n", "S", "k", 100, " lead"},
        ReadCase{"inner_quote_kept", "[S]\nk=a\"b\n", "S", "k", 100, "a\"b"},
        ReadCase{"empty_value_counts", "[S]\nk=\n", "S", "k", 100, ""},
        ReadCase{"missing_key", "[S]\nother=1\n", "S", "k", 100, "DEF"},
        ReadCase{"key_in_other_section", "[A]\nk=1\n[S]\nx=2\n", "S", "k", 100, "DEF"},
        ReadCase{"missing_section", "k=1\n", "S", "k", 100, "DEF"},
        ReadCase{"first_section_wins", "[S]\nk=1\n[S]\nk=2\n", "S", "k", 100, "1"},
        ReadCase{"cut_to_buffer", "[S]\nk=123456789\n", "S", "k", 5, "1234"},
        ReadCase{"default_cut_too", "[S]\n", "S", "k", 3, "DE"},
        ReadCase{"value_with_equals", "[S]\nk=a=b\n", "S", "k", 100, "a=b"},
        ReadCase{"comment_not_a_key", "[S]\n;k=1\nk=2\n", "S", "k", 100, "2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileRead, MissingFileGivesDefault) {
    CTempDir dir;
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "DEF", 100, dir.File("none.ini")), "DEF");
}

TEST(ProfileWrite, ReplacesInPlaceAppendsAtSectionEndAndKeepsOtherLines) {
    CTempDir dir;
    dir.Write("p.ini", "; note\n[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    std::string one = "10", two = "new";
    ASSERT_TRUE(WritePrivateProfileStringA("a", "X", &one, dir.File("p.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("A", "w", &two, dir.File("p.ini")));
    EXPECT_EQ(dir.Read("p.ini"), "; note\r\n[A]\r\nX=10\r\ny=2\r\nw=new\r\n\r\n[B]\r\nz=3\r\n");
}

TEST(ProfileWrite, AddsMissingSectionAtEndAndCreatesFile) {
    CTempDir dir;
    std::string v = "1";
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", &v, dir.File("new.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("T", "j", &v, dir.File("new.ini")));
    EXPECT_EQ(dir.Read("new.ini"), "[S]\r\nk=1\r\n[T]\r\nj=1\r\n");
}

TEST(ProfileWrite, NullValueRemovesKeyOnly) {
    CTempDir dir;
    dir.Write("p.ini", "[S]\nk=1\nj=2\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", nullptr, dir.File("p.ini")));
    EXPECT_EQ(dir.Read("p.ini"), "[S]\r\nj=2\r\n");
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "gone", 100, dir.File("p.ini")), "gone");
}

TEST(ProfileWrite, EveryValueReadsBackTheSame) {
    CTempDir dir;
    for (std::string value : {" leading", "trailing ", "\"quoted\"", "plain", "", "a\"b\""}) {
        ASSERT_TRUE(WritePrivateProfileStringA("S", "k", &value, dir.File("p.ini")));
        EXPECT_EQ(GetPrivateProfileStringA("S", "k", "x", 1000, dir.File("p.ini")), value);
    }
}

TEST(ProfileWrite, BatchIsOneReplacementAndReadersSeeChangesAtOnce) {
    CTempDir dir;
    dir.Write("p.ini", "[S]\nk=old\n");
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", 100, dir.File("p.ini")), "old");
    CProfileWriteBatch batch(dir.File("p.ini"));
    std::string a = "1", b = "2";
    batch.Write("S", "k", &a);
    batch.Write("S", "j", &b);
    // Nothing reaches the file before the commit.
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", 100, dir.File("p.ini")), "old");
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", 100, dir.File("p.ini")), "1");
    EXPECT_EQ(GetPrivateProfileStringA("S", "j", "", 100, dir.File("p.ini")), "2");
}
} // namespace
