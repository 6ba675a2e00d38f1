#pragma once
// The core keeps texts as bytes. Shown texts are UTF-8 where they are valid
// UTF-8 (language files in any script) and Latin-1 otherwise (old mail and
// single-byte language files).
#include <QString>
#include <string>

class CFilterApp;

QString ToQString(const std::string& bytes);
std::string FromQString(const QString& text); // UTF-8

// The one rule for every localized text on screen (titles, captions, labels,
// headers, messages): decoded by ToQString, CR LF shown as one line break.
QString ShownText(const std::string& bytes);

// Text textId with its built-in English default: raw, for texts that go
// through ExpandLineBreaks first, and as shown.
std::string LocalBytes(CFilterApp& app, int textId);
QString LocalText(CFilterApp& app, int textId);

// A header field's value as a mail program shows it: encoded words decoded.
// The record keeps the bytes as they came.
QString ShownHeaderText(const std::string& value);
