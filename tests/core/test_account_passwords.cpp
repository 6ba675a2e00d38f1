// Account passwords in a keyring: marker records, reading them back (the check's: the
// check cycle's tests), moving an old file's passwords, forgetting an entry no live record uses.
#include "app_fixture.h"
#include "fake_keyring.h"
#include "store/account_passwords.h"

#include <gtest/gtest.h>

namespace {

struct AccountPasswords : testing::Test {
    AccountPasswords() { app.InstallPath = dir.Path(), app.Keyring = &keyring; }
    std::string Key(char type, const std::string& account) {
        return KeyringAccountKey(dir.Path(), type, account, "s", "u");
    }
    std::string File() const { return dir.Read(kAccountFileName); }
    CTempDir dir;
    CFilterApp app;
    CFakeKeyring keyring;
};

// Stored in the keyring with the marker in the record, or (refused) kept in the file;
// the marker reads the keyring, and gives no password when it cannot answer.
TEST_F(AccountPasswords, AppendAndResolve) {
    EXPECT_EQ(app.AppendAccountRecord(true, "A", "s", "u", "p|1"), 1);
    EXPECT_EQ(app.AppendAccountRecord(false, "B", "s", "u", ""), 1);
    keyring.Answer = -1;
    EXPECT_EQ(app.AppendAccountRecord(false, "C", "s", "u", "typed"), 0);
    EXPECT_EQ(File(), "P|A|s|u|<keyring>\r\nI|B|s|u|*\r\nI|C|s|u|typed\r\n");
    EXPECT_EQ(app.AccountPassword('P', "A", "s", "u", "<keyring>"), ""); // locked
    keyring.Answer = 1;
    EXPECT_EQ(keyring.Entries, (std::map<std::string, std::string>{{Key('P', "A"), "p|1"}}));
    EXPECT_EQ(app.AccountPassword('P', "A", "s", "u", "<keyring>"), "p|1");
    EXPECT_EQ(app.AccountPassword('I', "A", "s", "u", "<keyring>"), ""); // no such entry
    EXPECT_EQ(app.AccountPassword('P', "A", "s", "u", "*") +
                  app.AccountPassword('P', "", "", "", "x|y"),
              "x|y");
    app.Keyring = nullptr;
    EXPECT_EQ(app.AccountPassword('P', "A", "s", "u", "<keyring>"), "");
}

// The move keeps live records in order with the marker and drops dead ones, once; a
// keyring failing part-way leaves the file as it was; one key with two passwords keeps
// the second in the file.
TEST_F(AccountPasswords, MoveToKeyringNeverLosesAPassword) {
    const std::string old = "P|A|s|u|a|b\r\n-->|s|u|old<--\r\nI|B|s|u|*\r\nP\r\nI|C|s|u|c\n";
    dir.Write(kAccountFileName, old);
    keyring.WritesLeft = 1;
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), -1);
    EXPECT_EQ(File(), old);
    keyring.WritesLeft = -1;
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 1);
    EXPECT_EQ(File(), "P|A|s|u|<keyring>\r\nI|B|s|u|*\r\nP\r\nI|C|s|u|<keyring>\r\n");
    EXPECT_EQ(keyring.Entries,
              (std::map<std::string, std::string>{{Key('P', "A"), "a|b"}, {Key('I', "C"), "c"}}));
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 0);
    dir.Write(kAccountFileName, "I|C|s|u|one\r\nI|C|s|u|two\r\n");
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 1);
    EXPECT_EQ(File(), "I|C|s|u|<keyring>\r\nI|C|s|u|two\r\n");
    EXPECT_EQ(keyring.Entries[Key('I', "C")], "one");
}

// An entry goes only when no live record points at it any more.
TEST_F(AccountPasswords, ForgetKeepsAnEntryStillInUse) {
    dir.Write(kAccountFileName, "P|A|s|u|<keyring>\r\n-->A|s|u|<keyring>\r\n");
    keyring.Entries[Key('P', "A")] = "p";
    app.ForgetUnusedAccountPassword('P', "A", "s", "u");
    EXPECT_EQ(keyring.Entries.size(), 1u);
    app.MarkAccountRecordDead(0);
    app.ForgetUnusedAccountPassword('P', "A", "s", "u");
    EXPECT_TRUE(keyring.Entries.empty());
}

} // namespace
