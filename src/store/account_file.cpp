#include "store/account_file.h"

#include "app/core/filter_app.h"
#include "platform/text_file.h"
#include "store/account_passwords.h"
#include "store/oauth_accounts.h"

#include <sys/stat.h>

namespace {

// A line break inside a field would end the record early and could forge a
// record of its own; such bytes are left out.
std::string WithoutLineBreaks(const std::string& field) {
    std::string clean;
    clean.reserve(field.size());
    for (char c : field)
        if (c != '\r' && c != '\n')
            clean += c;
    return clean;
}

void KeepOwnerOnly(const std::string& path) {
    ::chmod(path.c_str(), kAccountFileMode);
}

std::string WithoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

bool IsAllowedNameCharacter(unsigned char c, char kind) {
    unsigned char v = c & 127;
    if ((v >= 'A' && v <= 'Z') || (v >= 'a' && v <= 'z') || (v >= '0' && v <= '9') || v == '.')
        return true;
    return kind == 'U' && (v == '_' || v == '@');
}

} // namespace

FilteredName FilterNameField(const std::string& text, char kind, const std::string& extra) {
    FilteredName result;
    result.Text.reserve(text.size());
    for (char c : text) {
        if (extra.find(c) != std::string::npos ||
            IsAllowedNameCharacter(static_cast<unsigned char>(c), kind))
            result.Text += c;
        else
            result.Removed = true;
    }
    return result;
}

int CFilterApp::AppendAccountRecord(bool pop3, const std::string& accountName,
                                    const std::string& serverName, const std::string& userName,
                                    const std::string& password) {
    std::string path = DataFilePath(kAccountFileName);
    const std::string account = WithoutLineBreaks(accountName);
    const std::string server = WithoutLineBreaks(serverName);
    const std::string user = WithoutLineBreaks(userName);
    // A password of line breaks only is no password: "*", as for an empty one.
    std::string storedPassword = WithoutLineBreaks(password);
    int result = 1;
    // The marker goes into the file only once the keyring holds the
    // password; otherwise the file keeps it, as without a keyring.
    // An OAuth 2.0 account has no password, only the marker of its sign-in.
    if (Keyring && !storedPassword.empty() && storedPassword != kOAuthPasswordMarker) {
        if (StoreAccountPassword(pop3 ? 'P' : 'I', account, server, user, storedPassword) == 1)
            storedPassword = kKeyringPasswordMarker;
        else
            result = 0;
    }
    std::string record = pop3 ? "P|" : "I|";
    record += account + "|" + server + "|" + user + "|" +
              (storedPassword.empty() ? std::string("*") : storedPassword) + "\r\n";
    // A new file appears with its first record in it, never empty.
    if (!FileExists(path)) {
        ReplaceFileAtomically(path, record, kAccountFileMode);
        return result;
    }
    CTextFile file;
    if (!file.Open(path, CTextFile::Mode::ReadWrite))
        return result; // read-only file or directory: nothing is written anywhere
    KeepOwnerOnly(path);
    // A last line without its line end would swallow the new record.
    if (file.SeekToEnd() && file.GetPosition() > file.ContentStart()) {
        char last = 0;
        if (!file.Seek(file.GetPosition() - 1) || file.Read(&last, 1) != 1)
            return result; // unreadable: no record glued onto the last one
        if (last != '\n')
            record.insert(0, "\r\n");
    }
    // One write: a kill leaves the file without the record or with all of it.
    if (file.SeekToEnd())
        file.Write(record);
    file.Flush();
    return result;
}

void CFilterApp::LoadAccountList(std::vector<AccountRow>* rows,
                                 std::vector<std::string>& accountNames) {
    CTextFile file;
    if (!file.Open(DataFilePath(kAccountFileName), CTextFile::Mode::Read))
        return;
    for (;;) {
        int64_t offset = file.GetPosition();
        std::string line;
        if (!file.ReadLine(line))
            break;
        line = WithoutLineEnd(line);
        if (line.compare(0, 3, "-->") == 0)
            continue;
        std::string rest = line.size() > 2 ? line.substr(2) : std::string();
        size_t bar = rest.find('|');
        std::string account = rest.substr(0, bar);
        std::string server;
        if (bar != std::string::npos) {
            size_t next = rest.find('|', bar + 1);
            server = rest.substr(bar + 1,
                                 next == std::string::npos ? std::string::npos : next - bar - 1);
        }
        if (!account.empty())
            accountNames.push_back(account);
        if (rows)
            rows->push_back({account.empty() ? server : account,
                             !line.empty() && line[0] == 'P' ? "POP3" : "IMAP", offset});
    }
}

void CFilterApp::MarkAccountRecordDead(int64_t offset) {
    std::string path = DataFilePath(kAccountFileName);
    CTextFile file;
    if (offset < 0 || !file.Open(path, CTextFile::Mode::ReadWrite) || offset < file.ContentStart())
        return;
    KeepOwnerOnly(path);
    std::string line;
    if (!file.Seek(offset) || !file.ReadLine(line))
        return;
    // Only the record's own bytes change: never its line end, never the
    // next line.
    size_t content = WithoutLineEnd(line).size();
    if (content < 3)
        return;
    if (!file.Seek(offset) || !file.Write("-->") || !file.Flush())
        return;
    if (content >= 6 && file.Seek(offset + static_cast<int64_t>(content) - 3))
        file.Write("<--");
    file.Flush();
}
