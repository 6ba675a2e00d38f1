// Account passwords in a keyring: records with the marker, reading them back, the
// move of an old file's passwords, forgetting an entry no live record uses.
#include "app/core/filter_app.h"
#include "fake_keyring.h"
#include "session_fixture.h"
#include "store/account_passwords.h"

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

class AccountPasswords : public testing::Test {
  protected:
    AccountPasswords() {
        app.InstallPath = dir.Path();
        app.Keyring = &keyring;
    }
    std::string File() const { return dir.Read(kAccountFileName); }
    std::string Key(char type, const std::string& account, const std::string& server = "srv",
                    const std::string& user = "joe") const {
        return KeyringAccountKey(dir.Path(), type, account, server, user);
    }
    CTempDir dir;
    CFilterApp app;
    CFakeKeyring keyring;
};

// A remembered password goes to the keyring and the record says so; a refusing keyring
// leaves it in the file and says that it did; a record without password stays "*".
TEST_F(AccountPasswords, AppendStoresInKeyringOrKeepsThePasswordInTheFile) {
    EXPECT_EQ(app.AppendAccountRecord(true, "Home", "srv", "joe", "se|cret"), 1);
    EXPECT_EQ(app.AppendAccountRecord(false, "Work", "srv", "joe", ""), 1);
    keyring.Answer = -1;
    EXPECT_EQ(app.AppendAccountRecord(false, "Club", "srv", "joe", "typed"), 0);
    EXPECT_EQ(File(), "P|Home|srv|joe|<keyring>\r\nI|Work|srv|joe|*\r\nI|Club|srv|joe|typed\r\n");
    EXPECT_EQ(keyring.Entries, (std::map<std::string, std::string>{{Key('P', "Home"), "se|cret"}}));
}

// The marker reads the keyring; a locked keyring, a missing entry or no keyring at all
// give no password (the login prompt then asks); other fields are the password.
TEST_F(AccountPasswords, MarkerResolvesThroughTheKeyring) {
    keyring.Entries[Key('I', "Work")] = "pw";
    EXPECT_EQ(app.AccountPassword('I', "Work", "srv", "joe", kKeyringPasswordMarker), "pw");
    EXPECT_EQ(app.AccountPassword('P', "Work", "srv", "joe", kKeyringPasswordMarker), "");
    EXPECT_EQ(app.AccountPassword('I', "Work", "srv", "joe", "*"), "");
    EXPECT_EQ(app.AccountPassword('I', "Work", "srv", "joe", "plain|pw"), "plain|pw");
    keyring.Answer = -1;
    EXPECT_EQ(app.AccountPassword('I', "Work", "srv", "joe", kKeyringPasswordMarker), "");
    app.Keyring = nullptr;
    EXPECT_EQ(app.AccountPassword('I', "Work", "srv", "joe", kKeyringPasswordMarker), "");
}

// The check logs in with the keyring's password.
TEST_F(AccountPasswords, CheckLogsInWithTheKeyringsPassword) {
    UseTestLists(app);
    const auto script = Steps(HappyPath(Protocol::Pop3, 1, {1}));
    CFakeServer pop3(script);
    app.Pop3Port = pop3.Port();
    app.ServerTimeoutMsOverride = 2000;
    keyring.Entries[KeyringAccountKey(dir.Path(), 'P', "Home", "127.0.0.1", "u")] = "p";
    dir.Write(kAccountFileName, "P|Home|127.0.0.1|u|<keyring>\r\n");
    app.CheckNow();
    ASSERT_TRUE(app.WaitForCheckToFinish(30s));
    EXPECT_TRUE(pop3.WaitDone());
    EXPECT_EQ(pop3.Received(), ClientSide(script));
}

// The move keeps live records in order with the marker, drops dead ones (they keep most
// of their old password), leaves "*" and unreadable lines, is owner-only, and runs once.
TEST_F(AccountPasswords, MoveToKeyringRewritesTheFileOnce) {
    dir.Write(kAccountFileName, "P|Home|srv|joe|a|b\r\n-->ork|srv|joe|oldpass<--\r\n"
                                "I|Work|srv|joe|*\r\nP\r\nI|Club|srv|joe|c\n");
    ::chmod(dir.File(kAccountFileName).c_str(), 0644);
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 1);
    EXPECT_EQ(File(), "P|Home|srv|joe|<keyring>\r\nI|Work|srv|joe|*\r\nP\r\n"
                      "I|Club|srv|joe|<keyring>\r\n");
    EXPECT_EQ(keyring.Entries, (std::map<std::string, std::string>{{Key('P', "Home"), "a|b"},
                                                                   {Key('I', "Club"), "c"}}));
    struct stat st {};
    ::stat(dir.File(kAccountFileName).c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 0);
    app.Keyring = nullptr;
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 0);
}

// A keyring that fails part-way, or two records of one key with different passwords:
// nothing is lost, the file keeps every password the keyring does not hold.
TEST_F(AccountPasswords, MoveNeverLosesAPassword) {
    const std::string old = "P|Home|srv|joe|a\r\n-->x|y|z|w<--\r\nI|Club|srv|joe|c\r\n";
    dir.Write(kAccountFileName, old);
    keyring.WritesLeft = 1;
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), -1);
    EXPECT_EQ(File(), old);
    keyring.WritesLeft = -1;
    dir.Write(kAccountFileName, "I|W|srv|joe|one\r\nI|W|srv|joe|two\r\nI|W|srv|joe|one\r\n");
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 1);
    EXPECT_EQ(File(), "I|W|srv|joe|<keyring>\r\nI|W|srv|joe|two\r\nI|W|srv|joe|<keyring>\r\n");
    EXPECT_EQ(keyring.Entries[Key('I', "W")], "one");
}

// An entry goes only when no live record points at it any more.
TEST_F(AccountPasswords, ForgetKeepsAnEntryStillInUse) {
    app.AppendAccountRecord(true, "Home", "srv", "joe", "pw");
    app.AppendAccountRecord(true, "Home", "srv", "joe", "pw");
    std::vector<CFilterApp::AccountRow> rows;
    std::vector<std::string> names;
    app.LoadAccountList(&rows, names);
    ASSERT_EQ(rows.size(), 2u);
    app.MarkAccountRecordDead(rows[0].Offset);
    app.ForgetUnusedAccountPassword('P', "Home", "srv", "joe");
    EXPECT_EQ(keyring.Entries.count(Key('P', "Home")), 1u);
    app.MarkAccountRecordDead(rows[1].Offset);
    app.ForgetUnusedAccountPassword('P', "Home", "srv", "joe");
    EXPECT_TRUE(keyring.Entries.empty());
}

} // namespace
