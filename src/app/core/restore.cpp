#include "app/core/restore.h"

#include "app/core/filter_app.h"
#include "app/core/prompts.h"
#include "app/core/restore_texts.h"
#include "app/core/restored_memory.h"
#include "filter/history_format.h"
#include "mail/imap_append.h"
#include "mail/session.h"
#include "platform/text_file.h"
#include "store/english_texts.h"
#include "store/sender_list.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <sstream>
#include <unordered_map>

namespace {

// Login attempts with passwords typed in, before the restore gives up.
constexpr int kMaxLoginAttempts = 5;

std::string Text(CFilterApp& app, int id) {
    return app.GetLocalizedText(id, EnglishDefault(id));
}

std::string StoredKey(const std::string& date, const std::string& from, const std::string& subject,
                      const std::string& reason) {
    // Stored fields hold no "|": it cannot join two fields into one.
    return StoredHistoryField(date) + '|' + StoredHistoryField(from) + '|' +
           StoredHistoryField(subject) + '|' + StoredHistoryField(reason);
}

struct ImapAccount {
    std::string Name, Server, User, Password;
};

// The live IMAP record of the account file whose key is `key`.
bool FindImapAccount(CFilterApp& app, const std::string& key, ImapAccount& found) {
    std::string text;
    if (ReadWholeFile(app.DataFilePath(kAccountFileName), text) != ReadResult::Ok)
        return false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // "T|account|server|user|password": the password is the rest.
        if (line.size() < 2 || line[0] == 'P' || line.starts_with(kAccountDeletedMarker))
            continue;
        std::string fields[4];
        std::string_view rest = std::string_view(line).substr(2);
        for (int i = 0; i < 3; ++i) {
            const size_t bar = std::min(rest.find('|'), rest.size());
            fields[i] = rest.substr(0, bar);
            rest.remove_prefix(std::min(bar + 1, rest.size()));
        }
        fields[3] = rest;
        if (JudgedAccountKey('I', fields[1], fields[2]) == key) {
            found = {fields[0], fields[1], fields[2],
                     app.AccountPassword('I', fields[0], fields[1], fields[2], fields[3])};
            return true;
        }
    }
    return false;
}

// Asks for the password (and user name) of `account`; false when cancelled
// or nobody can be asked.
bool AskLogin(CFilterApp& app, ImapAccount& account) {
    ILoginPrompt* prompt = app.LoginPrompt.load();
    if (!prompt)
        return false;
    LoginPromptData data{account.Name.empty() ? account.Server : account.Name, account.User,
                         account.Password};
    if (prompt->AskLogin(data) != 1)
        return false;
    account.User = data.UserName;
    account.Password = data.Password;
    return true;
}

int ResultOfAppend(int append) {
    switch (append) {
    case kAppendDone:
        return kRestoreDone;
    case kAppendLoginRejected:
    case kAppendUnsafe:
        return kRestoreLoginRejected;
    case kAppendRefused:
        return kRestoreRefused;
    case kAppendTooLarge:
        return kRestoreTooLarge;
    default:
        return kRestoreNoConnection;
    }
}

int TextOfResult(int result) {
    switch (result) {
    case kRestoreDone:
        return kTextRestored;
    case kRestoreCopyKept:
        return kTextCopyNotRemoved;
    case kRestoreNoCopy:
        return kTextNoCopy;
    case kRestoreDamaged:
        return kTextCopyDamaged;
    case kRestoreNotImap:
        return kTextPop3CannotRestore;
    case kRestoreNoAccount:
        return kTextAccountGone;
    case kRestoreNoPassword:
        return kTextRestoreNoPassword;
    case kRestoreLoginRejected:
        return kTextRestoreLoginRejected;
    case kRestoreRefused:
        return kTextAppendRefused;
    case kRestoreTooLarge:
        return kTextAppendTooLarge;
    case kRestoreNotSaved:
        return kTextNotSaved;
    default:
        return kTextRestoreNoConnection;
    }
}

// Our text for `result`; on a failure that the copy survives, that it
// stays; then what the server said, apart.
int Finish(CFilterApp& app, int result, const std::string& serverText, std::string& status) {
    status = Text(app, TextOfResult(result));
    if (result < 0 && result != kRestoreNoCopy)
        status += " " + Text(app, kTextCopyStays);
    if (!serverText.empty())
        status += " " + Text(app, kTextServerSaid) + " " + serverText;
    return result;
}

// One restore of a copy at a time (the viewer and the companion may ask at
// once): a second waits, then finds the copy gone instead of appending the
// mail twice.
class CRestoreClaim {
  public:
    explicit CRestoreClaim(const std::string& fileName) : fileName_(fileName) {
        std::unique_lock guard(Lock());
        Changed().wait(guard, [&] { return !Claimed().count(fileName_); });
        Claimed().insert(fileName_);
    }
    ~CRestoreClaim() {
        {
            std::lock_guard guard(Lock());
            Claimed().erase(fileName_);
        }
        Changed().notify_all();
    }
    CRestoreClaim(const CRestoreClaim&) = delete;
    CRestoreClaim& operator=(const CRestoreClaim&) = delete;

  private:
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static std::condition_variable& Changed() {
        static std::condition_variable changed;
        return changed;
    }
    static std::set<std::string>& Claimed() {
        static std::set<std::string> claimed;
        return claimed;
    }
    std::string fileName_;
};

// Reads the copy and refuses one that is gone or damaged: 1 or the result.
int ReadWholeCopy(CFilterApp& app, const std::string& fileName, BinnedMessage& copy) {
    if (!ReadBinnedMessage(RecycleBinDir(app), fileName, copy))
        return kRestoreNoCopy;
    return copy.Damaged ? kRestoreDamaged : 1;
}

} // namespace

std::string RecycleBinDir(const CFilterApp& app) {
    return app.DataFilePath(kRecycleBinFolder);
}

std::vector<std::string>
MatchBinnedCopies(const std::vector<std::shared_ptr<const HistoryEntry>>& entries,
                  const std::vector<BinnedMessage>& bin) {
    std::unordered_map<std::string, std::deque<const BinnedMessage*>> copies;
    for (const BinnedMessage& copy : bin)
        if (!copy.Reason.empty())
            copies[StoredKey(copy.Date, copy.From, copy.Subject, copy.Reason)].push_back(&copy);
    std::vector<std::string> found(entries.size());
    if (copies.empty())
        return found;
    for (size_t i = 0; i < entries.size(); ++i) {
        const HistoryEntry* entry = entries[i].get();
        if (!entry || entry->Reason.empty())
            continue;
        auto it = copies.find(StoredKey(entry->Date, entry->From, entry->Subject, entry->Reason));
        if (it == copies.end() || it->second.empty())
            continue;
        found[i] = it->second.front()->FileName;
        it->second.pop_front();
    }
    return found;
}

bool PeekBinnedCopy(CFilterApp& app, const std::string& fileName, BinnedMessage& head) {
    for (BinnedMessage& copy : ListRecycleBin(RecycleBinDir(app)))
        if (copy.FileName == fileName) {
            head = std::move(copy);
            return true;
        }
    return false;
}

int RestoreBinnedCopy(CFilterApp& app, const std::string& fileName, std::string& status) {
    const CRestoreClaim claim(fileName);
    BinnedMessage copy;
    if (const int read = ReadWholeCopy(app, fileName, copy); read != 1)
        return Finish(app, read, {}, status);
    if (copy.Type != 'I')
        return Finish(app, kRestoreNotImap, {}, status);
    ImapAccount account;
    if (!FindImapAccount(app, copy.Account, account))
        return Finish(app, kRestoreNoAccount, {}, status);
    // As a check does: no stored password, so ask for one.
    if (account.Password.empty() && !AskLogin(app, account))
        return Finish(app, kRestoreNoPassword, {}, status);

    ImapAppendRequest request;
    request.Server = account.Server;
    request.Port = app.ImapPort.load();
    request.Flags = copy.Flags;
    request.InternalDate = copy.InternalDate;
    request.Text = copy.Text;
    request.Timeout = SessionTimeout(app.ServerTimeout.load(), app.ServerTimeoutMsOverride.load());
    request.Security = ReadLoginSecurity(app.DataFilePath(kLoginSecurityFileName),
                                         LoginSecurityKey('I', account.Server, account.User));
    ImapAppendOutcome outcome;
    for (int attempt = 0;; ++attempt) {
        request.UserName = account.User;
        request.Password = account.Password;
        outcome = AppendToInbox(request);
        if (outcome.Result != kAppendLoginRejected || attempt == kMaxLoginAttempts ||
            !AskLogin(app, account))
            break;
    }
    const std::string& name = account.Name.empty() ? account.Server : account.Name;
    if (outcome.Result != kAppendDone) {
        const int result = ResultOfAppend(outcome.Result);
        // The password kept back is no connection to the user, but the log says why.
        if (outcome.Result == kAppendTlsFailed)
            outcome.ServerText = kTextTlsFailed;
        else if (outcome.Result == kAppendPasswordKept)
            outcome.ServerText = kTextNoEncryption;
        app.LogLine("restore failed: " + Text(app, TextOfResult(result)) +
                        (outcome.ServerText.empty() ? "" : " " + outcome.ServerText),
                    name);
        return Finish(app, result, outcome.ServerText, status);
    }
    app.LogLine("restored a mail from the recycle bin", name);
    const bool remembered =
        RememberRestoredMail(app, account.Server, account.User, outcome.ServerText, copy);
    if (!RemoveBinnedMessage(RecycleBinDir(app), fileName))
        return Finish(app, kRestoreCopyKept, {}, status);
    Finish(app, kRestoreDone, {}, status);
    // Judged again at the next check, the mail may well be deleted again.
    if (!remembered)
        status += " " + Text(app, kTextJudgedAgain);
    return kRestoreDone;
}

int SaveBinnedCopyAs(CFilterApp& app, const std::string& fileName, const std::string& path,
                     std::string& status) {
    BinnedMessage copy;
    if (const int read = ReadWholeCopy(app, fileName, copy); read != 1)
        return Finish(app, read, {}, status);
    if (path.empty() || !ReplaceFileAtomically(path, copy.Text, 0600))
        return Finish(app, kRestoreNotSaved, {}, status);
    status = Text(app, kTextSaved);
    return kRestoreDone;
}
