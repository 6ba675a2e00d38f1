#pragma once
// The user's corrections of the learned score from the history: "This is
// spam" and "This is not spam" on a row, and the score a row's mail gets.
// A row's mail is read from its copy in the recycle bin when there is one
// (the mail whole, as the check read it), else from what the record keeps.
//
// Threads: any; no AppLock (the classifier has its own lock).
#include "filter/history_entry.h"

#include <cstdint>
#include <string>
#include <vector>

class CFilterApp;

// The tokens of the row's mail; `binFileName` (empty: none) names its copy.
std::vector<uint64_t> HistoryEntryTokens(CFilterApp& app, const HistoryEntry& entry,
                                         const std::string& binFileName);

// Learns the row's mail as spam or as not spam, taking back what a check
// learned of it the other way, and writes the token file. 0 done; -1 the
// file could not be written (`status` says why; the lesson stays learned in
// memory and goes with the next write).
int CorrectLearnedScore(CFilterApp& app, const HistoryEntry& entry, const std::string& binFileName,
                        bool spam, std::string& status);
