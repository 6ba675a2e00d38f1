#pragma once
// The rules for a sender row edited in place: refuse a text that is not an
// entry at all, and restore the display form "{name} @domain" when one of
// its marks is missing.
#include <QString>

enum class SenderEditCheck {
    InvalidName,   // neither "}" nor "@": "Invalid name"
    InvalidDomain, // no ".": "Invalid domain name"
    Kept,          // "{", "}" and "@" all there: the text stays as typed
    Completed,     // a missing mark was inserted
};

// `completed` receives the text the row keeps (Kept, Completed). Each mark is
// inserted at a position counted in the text as typed, not in the text the
// earlier insertions have already lengthened.
SenderEditCheck CheckAndCompleteSenderText(const QString& typed, QString& completed);

// An Add Sender domain is valid when its first "." is neither its first nor
// its last character.
bool IsValidSenderDomain(const QString& domain);
