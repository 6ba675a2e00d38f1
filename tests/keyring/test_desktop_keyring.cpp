// Account passwords against GNOME Keyring on a private bus (with_keyring.sh), and the
// program on a bus without any keyring.
#include "core/app_fixture.h"
#include "platform/qt/desktop_keyring.h"
#include "store/account_passwords.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Each test runs in the environment it names; elsewhere it skips.
#define NEEDS_KEYRING_TEST(mode)                                                                   \
    if (const char* env = std::getenv("DROSSGATE_KEYRING_TEST"); !env || env != std::string(mode)) \
        GTEST_SKIP() << "needs dbus-run-session and gnome-keyring (with_keyring.sh)";              \
    data.app->InstallPath = data.dir.Path(), other.app->InstallPath = other.dir.Path()

struct Keyring : testing::Test {
    std::string Read(const CAppFixture& in, const char* account) {
        std::string password, why;
        const std::string key = KeyringAccountKey(in.dir.Path(), 'I', account, "s", "u");
        const int found = keyring.ReadPassword(key, password, why);
        return found == 1 ? password : std::to_string(found);
    }
    CAppFixture data, other;
    CDesktopKeyring keyring;
};

// Stored and read back, moved in from an old file, after which no file of the data
// directory holds a password (dead records included), deleted with the last record that
// uses it; another data directory's entry of the same account stays.
TEST_F(Keyring, PasswordsLiveInTheKeyring) {
    NEEDS_KEYRING_TEST("daemon");
    ASSERT_TRUE(keyring.IsAvailable());
    data.app->Keyring = other.app->Keyring = &keyring;
    data.dir.Write(kAccountFileName, "I|Old|s|u|secret-1\r\n-->ad|s|u|secret-2<--\r\n");
    EXPECT_EQ(data.app->MoveAccountPasswordsToKeyring(), 1);
    EXPECT_EQ(data.app->AppendAccountRecord(false, "New", "s", "u", "pässwort|1"), 1);
    EXPECT_EQ(other.app->AppendAccountRecord(false, "New", "s", "u", "other"), 1);
    EXPECT_EQ(data.dir.Read(kAccountFileName), "I|Old|s|u|<keyring>\r\nI|New|s|u|<keyring>\r\n");
    for (const auto& file : std::filesystem::recursive_directory_iterator(data.dir.Path()))
        EXPECT_EQ(data.dir.Read(file.path().lexically_relative(data.dir.Path())).find("secret"),
                  std::string::npos);
    EXPECT_EQ(Read(data, "Old") + Read(data, "New") + Read(other, "New"),
              "secret-1pässwort|1other");
    EXPECT_EQ(data.app->AccountPassword('I', "New", "s", "u", kKeyringPasswordMarker),
              "pässwort|1");
    data.app->MarkAccountRecordDead(0);
    data.app->ForgetUnusedAccountPassword('I', "Old", "s", "u");
    EXPECT_EQ(Read(data, "Old") + Read(other, "New"), "0other");
    // A keyring that does not answer (stopped): no password, then no more waiting.
    const char* pid = std::getenv("DROSSGATE_KEYRING_PID");
    ASSERT_TRUE(pid && ::kill(std::atoi(pid), SIGSTOP) == 0);
    CDesktopKeyring stuck(std::chrono::milliseconds(200));
    data.app->Keyring = &stuck;
    std::string password, why;
    EXPECT_EQ(data.app->AccountPassword('I', "New", "s", "u", kKeyringPasswordMarker), "");
    EXPECT_EQ(std::pair(stuck.ReadPassword("k", password, why), why),
              std::pair(-1, std::string("the keyring has not answered an earlier request yet")));
    ::kill(std::atoi(pid), SIGCONT);
}

// Without a keyring every call fails without asking anyone, and the file keeps the
// passwords as before, even when the program is handed the absent keyring.
TEST_F(Keyring, FileWorksAsBeforeWithoutOne) {
    NEEDS_KEYRING_TEST("none");
    EXPECT_FALSE(keyring.IsAvailable());
    EXPECT_EQ(Read(data, "A"), "-1");
    data.app->AppendAccountRecord(true, "A", "s", "u", "pw");
    data.app->Keyring = &keyring;
    EXPECT_EQ(data.app->MoveAccountPasswordsToKeyring(), -1);
    EXPECT_EQ(data.app->AppendAccountRecord(true, "B", "s", "u", "typed"), 0);
    EXPECT_EQ(data.dir.Read(kAccountFileName), "P|A|s|u|pw\r\nP|B|s|u|typed\r\n");
}

} // namespace
