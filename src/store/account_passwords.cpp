#include "store/account_passwords.h"

#include "app/core/filter_app.h"
#include "platform/keyring.h"
#include "platform/text_file.h"
#include "store/account_file.h"
#include "store/oauth_accounts.h"
#include "store/sender_list.h"

#include <algorithm>
#include <map>
#include <sys/stat.h>

namespace {

constexpr const char* kNoAccount = "-";

std::string_view WithoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string KeyOf(const std::string& dataDir, const AccountFields& f) {
    return KeyringAccountKey(dataDir, f.Type, f.Account, f.Server, f.User);
}

// The record's line with `password` as its password field.
std::string WithPassword(const AccountFields& f, const std::string& password) {
    return std::string(1, f.Type == 'P' ? 'P' : 'I') + "|" + f.Account + "|" + f.Server + "|" +
           f.User + "|" + password;
}

} // namespace

bool SplitAccountLine(std::string_view line, AccountFields& fields) {
    line = WithoutCr(line);
    if (line.size() < 2 || line.starts_with(kAccountDeletedMarker))
        return false;
    fields.Type = line[0] == 'P' ? 'P' : 'I';
    std::string_view rest = line.substr(2);
    std::string* parts[] = {&fields.Account, &fields.Server, &fields.User};
    for (std::string* part : parts) {
        const size_t bar = std::min(rest.find('|'), rest.size());
        *part = std::string(rest.substr(0, bar));
        rest.remove_prefix(std::min(bar + 1, rest.size()));
    }
    fields.Password = std::string(rest);
    return true;
}

std::string KeyringAccountKey(const std::string& dataDir, char type, const std::string& account,
                              const std::string& server, const std::string& user) {
    return dataDir + "|" + (type == 'P' ? "P" : "I") + "|" + account + "|" + server + "|" + user;
}

std::string CFilterApp::AccountPassword(char type, const std::string& account,
                                        const std::string& server, const std::string& user,
                                        const std::string& field) {
    if (field == "*")
        return {};
    if (field != kKeyringPasswordMarker)
        return field;
    const std::string name = account.empty() ? server : account;
    if (!Keyring) {
        LogLine("the password is in the desktop keyring, which is not available", name);
        return {};
    }
    std::string password, why;
    const int read = Keyring->ReadPassword(
        KeyringAccountKey(InstallPath, type, account, server, user), password, why);
    if (read == 0)
        LogLine("the desktop keyring holds no password for this account", name);
    else if (read != 1)
        LogLine("the desktop keyring gave no password: " + why, name);
    return read == 1 ? password : std::string();
}

int CFilterApp::StoreAccountPassword(char type, const std::string& account,
                                     const std::string& server, const std::string& user,
                                     const std::string& password) {
    if (!Keyring)
        return -1;
    std::string why;
    if (Keyring->WritePassword(KeyringAccountKey(InstallPath, type, account, server, user),
                               password, why) == 1)
        return 1;
    LogLine("the desktop keyring did not store the password: " + why,
            account.empty() ? server : account);
    return -1;
}

void CFilterApp::ForgetUnusedAccountPassword(char type, const std::string& account,
                                             const std::string& server, const std::string& user) {
    if (!Keyring)
        return;
    std::string text;
    // Unreadable: a live record may still need the entry, so it stays.
    if (ReadWholeFile(DataFilePath(kAccountFileName), text) == ReadResult::Failed)
        return;
    const std::string key = KeyringAccountKey(InstallPath, type, account, server, user);
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t lf = std::min(rest.find('\n'), rest.size());
        AccountFields fields;
        if (SplitAccountLine(rest.substr(0, lf), fields) &&
            fields.Password == kKeyringPasswordMarker && KeyOf(InstallPath, fields) == key)
            return;
        rest.remove_prefix(std::min(lf + 1, rest.size()));
    }
    std::string why;
    if (Keyring->DeletePassword(key, why) != 1)
        LogLine("the desktop keyring did not delete the password: " + why,
                account.empty() ? server : account);
}

int CFilterApp::MoveAccountPasswordsToKeyring() {
    if (!Keyring)
        return 0;
    const std::string path = DataFilePath(kAccountFileName);
    std::string old;
    const ReadResult read = ReadWholeFile(path, old);
    if (read == ReadResult::Missing)
        return 0;
    if (read == ReadResult::Failed) {
        LogLine("the account file could not be read; its passwords stay in it", kNoAccount);
        return -1;
    }
    std::string moved;
    moved.reserve(old.size());
    bool changed = false;
    std::map<std::string, std::string> stored; // key -> password stored by this run
    std::string_view rest(old);
    while (!rest.empty()) {
        const size_t lf = std::min(rest.find('\n'), rest.size());
        const std::string_view line = WithoutCr(rest.substr(0, lf));
        rest.remove_prefix(std::min(lf + 1, rest.size()));
        // Dead records keep most of their old password: they go, as the
        // "Compact Data Files" button drops them.
        if (line.starts_with(kAccountDeletedMarker)) {
            changed = true;
            continue;
        }
        AccountFields fields;
        if (!SplitAccountLine(line, fields) || fields.Password == "*" ||
            fields.Password == kKeyringPasswordMarker || fields.Password == kOAuthPasswordMarker) {
            moved.append(line);
            moved += "\r\n";
            continue;
        }
        const std::string key = KeyOf(InstallPath, fields);
        const auto earlier = stored.find(key);
        if (earlier != stored.end() && earlier->second != fields.Password) {
            // Two live records with one key but different passwords: one
            // entry cannot hold both, so this one stays as it is.
            LogLine("two records of this account differ; one password stays in the account file",
                    fields.Account.empty() ? fields.Server : fields.Account);
            moved.append(line);
            moved += "\r\n";
            continue;
        }
        if (earlier == stored.end()) {
            if (StoreAccountPassword(fields.Type, fields.Account, fields.Server, fields.User,
                                     fields.Password) != 1) {
                LogLine("the passwords stay in the account file", kNoAccount);
                return -1;
            }
            stored[key] = fields.Password;
        }
        moved += WithPassword(fields, kKeyringPasswordMarker) + "\r\n";
        changed = true;
    }
    if (!changed)
        return 0;
    // Every reader skips one byte-order mark: a first line that begins with
    // one (the file began with two) must not lose it to the next read.
    if (moved.starts_with(kByteOrderMark))
        moved.insert(0, kByteOrderMark);
    if (!ReplaceFileAtomically(path, moved, kAccountFileMode)) {
        LogLine("the account file could not be rewritten; its passwords stay in it", kNoAccount);
        return -1;
    }
    ::chmod(path.c_str(), kAccountFileMode);
    LogLine("the account passwords are now in the desktop keyring", kNoAccount);
    return 1;
}
