#pragma once
// Spam word entries: "expression>degree", split at the last ">" (the
// expression itself may hold ">"). Shared by the table build and the spam
// words page, so both skip the same entries.
#include <string>

struct SpamEntryParts {
    std::string Expression;
    std::string DegreeText; // as written: leading zeros and blanks kept
    int Degree = 0;         // DegreeText read like atoi (saturating)
};

// 1 when the entry was split; -1 when it holds no ">" (only a hand-edited
// settings file has such entries; they are skipped everywhere).
int SplitSpamEntry(const std::string& entry, SpamEntryParts& parts);
