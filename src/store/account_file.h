#pragma once
// The account list file: one record per line, "T|account|server|user|password"
// with CR LF, appended only; a changed or deleted record is marked dead in
// place ("-->" at its start, "<--" before its line end) so no offset moves.
// Without a desktop keyring the file holds passwords in plain text (with one,
// a marker; see account_passwords.h): it is created readable by its owner
// only, and every write puts that mode back.
//
// The operations themselves are CFilterApp::AppendAccountRecord,
// LoadAccountList and MarkAccountRecordDead (account_file.cpp).
#include <string>

inline constexpr unsigned kAccountFileMode = 0600;

// The result of FilterNameField's character filter.
struct FilteredName {
    std::string Text;     // the allowed characters, in order
    bool Removed = false; // true when anything was taken out (the window then tells the user)
};

// Keeps the characters of a server/domain name (kind 'S') or user/sender name
// (kind 'U') that are allowed: those in `extra`, and, judged by their low
// seven bits, letters, digits and "."; for kind 'U' also "_" and "@".
FilteredName FilterNameField(const std::string& text, char kind, const std::string& extra = {});
