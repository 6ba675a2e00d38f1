#pragma once
// The character filter of user, sender, server and domain names, run when
// the name's edit loses the input focus: forbidden characters are removed and
// the user is told once.
#include <QString>

class CFilterApp;
class QLineEdit;

// Kind 'U' (user and sender names) keeps letters, digits, ".", "_" and "@";
// kind 'S' (server and domain names) keeps letters, digits and ".". A
// character in `extra` is always kept; any other is judged by its low seven
// bits.
QString FilterNameChars(const QString& text, char kind, const QString& extra);

// Runs the filter on `edit` each time it loses the focus to another control
// of its window, with message 17010 (kind 'U') or 17011 (kind 'S').
void InstallNameFieldFilter(CFilterApp& app, QLineEdit* edit, char kind, const QString& extra);
