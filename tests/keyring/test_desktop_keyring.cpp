// Account passwords against a real desktop keyring (GNOME Keyring on a private bus, see
// with_keyring.sh), and the same program on a bus without one.
#include "core/app_fixture.h"
#include "platform/qt/desktop_keyring.h"
#include "store/account_passwords.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::string Mode() {
    const char* mode = std::getenv("DROSSGATE_KEYRING_TEST");
    return mode ? mode : "";
}

// Every byte of every file under `dir`, so that no password hides anywhere.
std::string AllFiles(const std::string& dir) {
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            all.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    return all;
}

class KeyringTest : public testing::Test {
  protected:
    void SetUp() override {
        if (Mode() != Wanted())
            GTEST_SKIP() << "needs dbus-run-session"
                         << (Wanted() == "daemon" ? " and gnome-keyring" : "")
                         << " (run through with_keyring.sh)";
        ASSERT_TRUE(data.Start());
    }
    virtual std::string Wanted() const = 0;
    std::string Read(const std::string& key) {
        std::string password, why;
        const int found = keyring.ReadPassword(key, password, why);
        return found == 1 ? password : "(" + std::to_string(found) + ")";
    }
    CAppFixture data;
    CDesktopKeyring keyring{std::chrono::seconds(30)};
};

class DesktopKeyring : public KeyringTest {
    std::string Wanted() const override { return "daemon"; }
};

class NoDesktopKeyring : public KeyringTest {
    std::string Wanted() const override { return "none"; }
};

// Stored, read back by the check's resolver, changed, and deleted with the last live
// record that uses it; a second data directory's entry of the same account stays.
TEST_F(DesktopKeyring, StoredReadBackAndDeletedPerDataDirectory) {
    ASSERT_TRUE(keyring.IsAvailable());
    CFilterApp& app = *data.app;
    app.Keyring = &keyring;
    CAppFixture other;
    ASSERT_TRUE(other.Start());
    other.app->Keyring = &keyring;
    ASSERT_EQ(app.AppendAccountRecord(false, "Work", "srv", "joe", "pässwort|1"), 1);
    ASSERT_EQ(other.app->AppendAccountRecord(false, "Work", "srv", "joe", "other"), 1);
    EXPECT_EQ(data.dir.Read(kAccountFileName), "I|Work|srv|joe|<keyring>\r\n");
    EXPECT_EQ(app.AccountPassword('I', "Work", "srv", "joe", kKeyringPasswordMarker), "pässwort|1");
    EXPECT_EQ(other.app->AccountPassword('I', "Work", "srv", "joe", kKeyringPasswordMarker),
              "other");
    std::vector<CFilterApp::AccountRow> rows;
    std::vector<std::string> names;
    app.LoadAccountList(&rows, names);
    ASSERT_EQ(rows.size(), 1u);
    app.MarkAccountRecordDead(rows[0].Offset);
    app.ForgetUnusedAccountPassword('I', "Work", "srv", "joe");
    const std::string key = KeyringAccountKey(data.dir.Path(), 'I', "Work", "srv", "joe");
    EXPECT_EQ(Read(key), "(0)");
    EXPECT_EQ(Read(KeyringAccountKey(other.dir.Path(), 'I', "Work", "srv", "joe")), "other");
    std::string why;
    EXPECT_EQ(keyring.DeletePassword(key, why), 1) << why; // nothing left to delete
}

// An old file's passwords move in at the first start with a keyring; afterwards no file
// of the data directory holds one, dead records included.
TEST_F(DesktopKeyring, OldFilesPasswordsMoveIn) {
    ASSERT_TRUE(keyring.IsAvailable());
    CFilterApp& app = *data.app;
    data.dir.Write(kAccountFileName, "P|Home|srv|joe|first-secret\r\n"
                                     "-->ub|srv|joe|dead-secret<--\r\nI|Work|srv|ann|*\r\n");
    app.Keyring = &keyring;
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), 1);
    const std::string all = AllFiles(data.dir.Path());
    EXPECT_EQ(all.find("secret"), std::string::npos);
    EXPECT_EQ(data.dir.Read(kAccountFileName), "P|Home|srv|joe|<keyring>\r\nI|Work|srv|ann|*\r\n");
    EXPECT_EQ(Read(KeyringAccountKey(data.dir.Path(), 'P', "Home", "srv", "joe")), "first-secret");
}

// Without a keyring on the bus nothing is asked of the user, every call fails, and the
// file keeps the passwords exactly as before.
TEST_F(NoDesktopKeyring, FileWorksAsBefore) {
    EXPECT_FALSE(keyring.IsAvailable());
    std::string password, why;
    EXPECT_EQ(keyring.ReadPassword("k", password, why), -1);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(keyring.WritePassword("k", "pw", why), -1);
    CFilterApp& app = *data.app;
    app.AppendAccountRecord(true, "Home", "srv", "joe", "pw");
    const std::string file = data.dir.Read(kAccountFileName);
    EXPECT_EQ(file, "P|Home|srv|joe|pw\r\n");
    // Even when handed the absent keyring, nothing typed or stored is lost.
    app.Keyring = &keyring;
    EXPECT_EQ(app.MoveAccountPasswordsToKeyring(), -1);
    EXPECT_EQ(data.dir.Read(kAccountFileName), file);
    EXPECT_EQ(app.AppendAccountRecord(true, "Club", "srv", "joe", "typed"), 0);
    EXPECT_EQ(data.dir.Read(kAccountFileName), file + "P|Club|srv|joe|typed\r\n");
}

} // namespace
