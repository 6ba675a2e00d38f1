// What is remembered about sending a password: the file survives bad lines,
// and a server on another machine never gets it in plain text unasked.
#include "store/login_security.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(LoginSecurity, PlainTextOnlyToThisMachineOrWithLeaveAndTheFileKeepsOtherAccounts) {
    EXPECT_FALSE(PlainTextWithoutAsking(false, {}));
    EXPECT_TRUE(PlainTextWithoutAsking(true, {}));
    EXPECT_FALSE(PlainTextWithoutAsking(true, {.TlsSeen = true}));
    EXPECT_TRUE(PlainTextWithoutAsking(false, {.TlsSeen = true, .PlainAllowed = true}));

    CTempDir dir;
    const std::string path = dir.File(kLoginSecurityFileName);
    dir.Write(kLoginSecurityFileName, "garbage\r\nplain|I|other|bob\r\nmaybe|P|srv|joe\r\n");
    const std::string joe = LoginSecurityKey('P', "srv", "joe");
    EXPECT_FALSE(ReadLoginSecurity(path, joe).TlsSeen);
    ASSERT_EQ(WriteLoginSecurity(path, joe, {.TlsSeen = true, .PlainAllowed = true}), 1);
    EXPECT_EQ(dir.Read(kLoginSecurityFileName), "plain|I|other|bob\r\ntls+plain|P|srv|joe\r\n");
    EXPECT_TRUE(ReadLoginSecurity(path, LoginSecurityKey('I', "other", "bob")).PlainAllowed);
    ASSERT_EQ(WriteLoginSecurity(path, joe, {}), 1);
    EXPECT_EQ(dir.Read(kLoginSecurityFileName), "plain|I|other|bob\r\n");
    // A file that cannot be written says so.
    EXPECT_EQ(WriteLoginSecurity(dir.File("missing/Logins.txt"), joe, {.TlsSeen = true}), -1);
}

} // namespace
