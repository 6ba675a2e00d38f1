// The INI engine: what readers see and what writes leave in the file.
#include "platform/profile.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {
std::string Read(const CTempDir& dir, const char* section, const char* key, size_t buffer = 100) {
    return GetPrivateProfileStringA(section, key, "DEF", buffer, dir.File("p.ini"));
}

TEST(Profile, ReadsYieldValueOrDefaultAndWritesReadBack) {
    struct {
        const char *File, *Section, *Expected;
        size_t Buffer = 100;
    } cases[] = {{"[S]\r\nk=v\r\n", "S", "v"},
                 {"[SeTtInGs]\nK=1\n", "settings", "1"}, // names in any case
                 {"[S]\n  k  =  two words  \n", "S", "two words"},
                 {"[S]\nk=\" lead\"\n", "S", " lead"},
                 {"[S]\nk=a\"b\n", "S", "a\"b"},
                 {"[S]\nk=\n", "S", ""},
                 {"[A]\nk=1\n[S]\nx=2\n", "S", "DEF"},
                 {"k=1\n", "S", "DEF"},
                 {"[S]\nk=1\n[S]\nk=2\n", "S", "1"},
                 {"[S]\nk=123456789\n", "S", "1234", 5},
                 {"[S]\n", "S", "DE", 3},
                 {"[S]\nk=a=b\n", "S", "a=b"},
                 {"[S]\n;k=1\nk=2\n", "S", "2"}};
    CTempDir dir;
    EXPECT_EQ(Read(dir, "S", "k"), "DEF"); // no file
    for (const auto& c : cases) {
        dir.Write("p.ini", c.File);
        EXPECT_EQ(Read(dir, c.Section, "k", c.Buffer), c.Expected) << c.File;
    }

    // Values read back as written; an edit keeps the other lines; a batch is one
    // replacement that readers see at once.
    std::filesystem::remove(dir.File("p.ini")); // the first write creates the file
    for (std::string value : {" leading", "trailing ", "plain", "", "a\"b\"", "\"quoted\""}) {
        ASSERT_TRUE(WritePrivateProfileStringA("S", "k", &value, dir.File("p.ini")));
        EXPECT_EQ(Read(dir, "S", "k", 1000), value);
    }
    EXPECT_EQ(dir.Read("p.ini"), "[S]\r\nk=\"\"quoted\"\"\r\n"); // enclosing quotes get quoted

    dir.Write("p.ini", "; note\n[A]\nx=1\ny=2\n\n[B]\nz=3\n");
    std::string one = "10", two = "new";
    ASSERT_TRUE(WritePrivateProfileStringA("a", "X", &one, dir.File("p.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("A", "w", &two, dir.File("p.ini")));
    ASSERT_TRUE(WritePrivateProfileStringA("B", "z", nullptr, dir.File("p.ini")));
    EXPECT_EQ(dir.Read("p.ini"), "; note\r\n[A]\r\nX=10\r\ny=2\r\nw=new\r\n\r\n[B]\r\n");
    EXPECT_EQ(Read(dir, "B", "z"), "DEF");

    CProfileWriteBatch batch(dir.File("p.ini"));
    batch.Write("B", "z", &one);
    batch.Write("B", "j", &two);
    EXPECT_EQ(Read(dir, "B", "z"), "DEF"); // nothing reaches the file before the commit
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ(Read(dir, "B", "z") + Read(dir, "B", "j"), "10new");
}
} // namespace
