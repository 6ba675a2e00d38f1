#pragma once
// Reads one record of the account file by its offset, following the readers'
// rules: line end removed; "P" is POP3, any other type letter IMAP; account,
// server and user end at the next "|", the password is the rest of the line.
#include <cstdint>
#include <string>

struct AccountRecord {
    bool Pop3 = false;
    // Password as the file has it: "*" none stored, or the keyring marker.
    std::string AccountName, ServerName, UserName, Password;
};

// false when the file cannot be read at that offset or the line there is
// dead (marked "-->"): there is then no record to load.
bool ReadAccountRecordAt(const std::string& path, int64_t offset, AccountRecord& record);
