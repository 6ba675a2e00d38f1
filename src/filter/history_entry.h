#pragma once
#include <string>

// One judged message as the history keeps it.
struct HistoryEntry {
    std::string Date; // the message's 16-character Date, weekday included
    std::string From;
    std::string Subject;
    unsigned char Status = 1; // 0 deleted on the server, other values stayed
    std::string Reason;       // empty when the mail stayed
    std::string Body;
};
