#pragma once
// Whether a mail's sender is on the blocked list, and taking it off, for
// mail brought back from the recycle bin: otherwise the next check deletes
// it again. An entry blocks a sender as the filter's rule does: the same
// address, or the whole domain ("*@domain"), and with MatchBareAddress the
// bare address with its domain in any case.
#include <string>

class CFilterApp;

// `sender` is the history record's From.
bool IsSenderBlocked(CFilterApp& app, const std::string& sender);

// Marks every blocked-list entry that blocks `sender` deleted in the file
// and takes it out of the filter's lists. Returns the number of entries.
int UnblockSender(CFilterApp& app, const std::string& sender);
