#pragma once
// The recycle bin: a copy of every message before a session deletes it on
// the server. A folder in Maildir form in the data directory,
//
//   Recycle Bin/tmp/   copies being written (a kill leaves them here)
//   Recycle Bin/cur/   <seconds>.<micros>_<n>.P<pid>.drossgate:2,
//
// one file per message, each the message as fetched after a head of our own:
//
//   X-Drossgate-Bin: 1 <head bytes> <text bytes> <digest of the text>
//   X-Drossgate-Account: I|imap.example|joe      (see JudgedAccountKey)
//   X-Drossgate-<Field>: value                   (the fields below)
//   <the message, byte for byte>
//
// The head's first line gives the sizes and a digest, so a copy cut short
// or changed by hand is found out and never restored as if it were whole.
// A copy is written to tmp/, synced, renamed into cur/ and the folder
// synced: once a write says a copy is in the bin, it survives a crash.
#include <cstdint>
#include <string>
#include <vector>

struct BinnedMessage {
    // Where it came from.
    char Type = 'P';          // 'P' POP3, 'I' IMAP
    std::string Account;      // JudgedAccountKey(Type, server, user)
    std::string AccountName;  // as the account pages show it
    std::string ServerId;     // the IMAP UID or the POP3 UIDL; empty when unknown
    std::string Flags;        // IMAP flags as fetched, "\Seen \Flagged"; \Deleted never
    std::string InternalDate; // IMAP INTERNALDATE as the server gave it, quotes left out
    // The history record it belongs to (the fields as the record keeps them).
    std::string Date, From, Subject, Reason;
    int64_t BinnedAt = 0; // seconds since 1970, when the copy was written
    std::string Text;     // the message, byte for byte
    // Set by the readers: the name of its file in cur/ and whether the file
    // is whole (sizes and digest agree).
    std::string FileName;
    bool Damaged = false;
};

inline constexpr const char* kRecycleBinFolder = "Recycle Bin";

// Writes `message` (FileName and BinnedAt set here) into the bin at `binDir`,
// creating the folders (mode 0700). false when the copy is not safely on
// disk; `error` then says why and no file is left in cur/.
bool WriteBinnedMessage(const std::string& binDir, BinnedMessage& message, std::string& error);
// The same for a batch, the folder synced once for all of them: element
// i tells whether messages[i] is safely in the bin (`error`: the last cause).
std::vector<bool> WriteBinnedMessages(const std::string& binDir,
                                      std::vector<BinnedMessage>& messages, std::string& error);

// Every copy in cur/, oldest first, without its text: what the head says
// (a file whose head cannot be read is listed with Damaged set and only its
// FileName and BinnedAt filled).
std::vector<BinnedMessage> ListRecycleBin(const std::string& binDir);

// One copy with its text. false when the file is missing or unreadable;
// true with Damaged set when it is there but not whole.
bool ReadBinnedMessage(const std::string& binDir, const std::string& fileName,
                       BinnedMessage& message);

// Removes one copy (a name that is not a plain file name in cur/ is refused).
bool RemoveBinnedMessage(const std::string& binDir, const std::string& fileName);

// Removes the copies older than `days` days and then, oldest first, as many
// as needed to bring cur/ within `maxBytes`; also copies left in tmp/ by a
// crash over a day ago. `days` or `maxBytes` of 0 or less: that bound is not
// applied. Returns the number of copies removed.
int ExpireRecycleBin(const std::string& binDir, int64_t now, int days, int64_t maxBytes);
