#pragma once
// Getting a deleted mail back from the recycle bin: an IMAP copy goes back
// into its account's inbox (APPEND), any copy can be saved as an .eml file.
// POP3 has no command to put mail back, so a POP3 copy can only be saved.
//
// A copy is only ever removed from the bin once the server has confirmed
// the APPEND; every failure leaves it where it is. A damaged copy (sizes or
// digest wrong) is neither restored nor saved: it is not the mail as it was.
//
// Threads: the restore talks to the server and may ask for a password;
// call it on a worker thread, never the window thread. No AppLock.
#include "filter/history_entry.h"
#include "store/recycle_bin.h"

#include <memory>
#include <string>
#include <vector>

class CFilterApp;

// Results of RestoreBinnedCopy and SaveBinnedCopyAs; `status` says more.
inline constexpr int kRestoreDone = 1;
inline constexpr int kRestoreNoCopy = -1;        // not in the bin (any more)
inline constexpr int kRestoreDamaged = -2;       // the copy is not whole
inline constexpr int kRestoreNotImap = -3;       // a POP3 copy: save it instead
inline constexpr int kRestoreNoAccount = -4;     // the account has been deleted since
inline constexpr int kRestoreNoPassword = -5;    // none stored and none given
inline constexpr int kRestoreLoginRejected = -6; // user name or password refused
inline constexpr int kRestoreRefused = -7;       // the server refused the APPEND
inline constexpr int kRestoreTooLarge = -8;      // refused as too large
inline constexpr int kRestoreNoConnection = -9;  // connection failed, dropped or timed out
inline constexpr int kRestoreNotSaved = -10;     // the file could not be written
// The mail is back on the server but its copy stayed in the bin.
inline constexpr int kRestoreCopyKept = 2;

// The bin folder of the data directory.
std::string RecycleBinDir(const CFilterApp& app);

// The copy of each history entry, element i for entries[i]: its file name
// in the bin, or empty. A copy belongs to a deleted entry (Reason not
// empty) with the same Date, From, Subject and Reason, compared as the
// history file stores them; identical entries take identical copies in
// order, oldest first, each copy once.
std::vector<std::string>
MatchBinnedCopies(const std::vector<std::shared_ptr<const HistoryEntry>>& entries,
                  const std::vector<BinnedMessage>& bin);

// Puts the copy `fileName` back into the inbox of its IMAP account (found
// in the account file by type, server and user; a stored password "*" is
// asked for through app.LoginPrompt), then removes it from the bin.
int RestoreBinnedCopy(CFilterApp& app, const std::string& fileName, std::string& status);

// Writes the copy's message byte for byte to `path`, replacing the file
// atomically (a new file gets mode 0600). The copy stays in the bin.
int SaveBinnedCopyAs(CFilterApp& app, const std::string& fileName, const std::string& path,
                     std::string& status);

// The copy's head (no text); false when it is not in the bin.
bool PeekBinnedCopy(CFilterApp& app, const std::string& fileName, BinnedMessage& head);
