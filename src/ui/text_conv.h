#pragma once
// The core keeps texts as bytes. Shown texts are UTF-8 where they are valid
// UTF-8 (language files in any script) and Latin-1 otherwise (old mail).
#include <QString>
#include <string>

QString ToQString(const std::string& bytes);
std::string FromQString(const QString& text); // UTF-8
