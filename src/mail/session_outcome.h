#pragma once
// What one session's check of an account did, as the desktop is told it.
#include <string>

struct AccountOutcome {
    std::string Account; // the account's name, or its server's
    int Judged = 0;      // messages judged at this check
    int Deleted = 0;     // of them (and of remembered mail) deleted on the server
    bool LoginRefused = false;
    bool DryRun = false; // nothing was deleted on purpose
    // The password was kept back: no TLS, and plain text not allowed.
    bool PasswordKeptBack = false;
};
