#pragma once
// The memory of one account's messages that checks judged and kept, so that
// a later check fetches only what is new. One plain text file per account:
//
//   Drossgate judged messages 1
//   account I|imap.example|joe
//   validity 1700000000                  (IMAP's UIDVALIDITY; empty for POP3)
//   <id> TAB <date> TAB <key digest> TAB <sender> TAB <subject> TAB <check>
//
// Each message line carries a check of its own fields: a damaged line is
// dropped and its message judged again. A file that is missing, unreadable,
// of another account or with a damaged head is no memory at all. Losing the
// memory therefore costs a second judging, never a deletion.
#include <cstddef>
#include <string>
#include <vector>

struct JudgedMessage {
    std::string Id;        // the IMAP UID in decimal, or the POP3 unique id
    std::string Date;      // the record's date text, for the life time
    std::string KeyDigest; // digest of the repeat key, for the identical-mail limit
    std::string Sender;    // for the history entry of a life-time deletion
    std::string Subject;
};

struct JudgedMemory {
    std::string Account;  // "I|server|user" or "P|server|user"
    std::string Validity; // the IDs' validity (IMAP UIDVALIDITY)
    std::vector<JudgedMessage> Kept;
};

// The memory file's name for an account: readable, safe as a file name, and
// distinct for every type, server and user.
std::string JudgedMemoryFileName(char typeLetter, const std::string& server,
                                 const std::string& user);
std::string JudgedAccountKey(char typeLetter, const std::string& server, const std::string& user);

// The memory of `account` in `path`; empty when there is none to trust.
JudgedMemory ReadJudgedMemory(const std::string& path, const std::string& account);
// Replaces the file atomically. false when it could not be written (the old
// file stays, and costs at most a second judging).
bool WriteJudgedMemory(const std::string& path, const JudgedMemory& memory);

// What one check does, from the memory and the IDs the server lists now
// (no ID twice).
struct JudgedPlan {
    std::vector<size_t> New;               // indexes into the server's IDs: judge these
    std::vector<size_t> RememberedAt;      // indexes into the server's IDs of ...
    std::vector<JudgedMessage> Remembered; // ... the memory's messages still there
};
// A memory of another validity holds nothing that is still valid.
JudgedPlan PlanJudging(const JudgedMemory& memory, const std::string& validity,
                       const std::vector<std::string>& serverIds);
// Whether `ids` names some message twice (a server that does, cannot be
// trusted with a memory).
bool HasDuplicateIds(const std::vector<std::string>& ids);
