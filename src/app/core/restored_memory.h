#pragma once
// A mail put back from the recycle bin is one the user wants: with
// JudgeOnce it joins the account's memory of judged and kept mail under the
// UID the server gave it (APPENDUID), so the next check does not judge it
// again and delete it a second time.
#include <string>

class CFilterApp;
struct BinnedMessage;

// `appendResult`: the server's words on the APPEND's OK, "[APPENDUID v u] ...".
// true when the mail is now remembered; false when JudgeOnce is off, the
// server named no UID or the memory could not be written.
bool RememberRestoredMail(CFilterApp& app, const std::string& server, const std::string& user,
                          const std::string& appendResult, const BinnedMessage& copy);
