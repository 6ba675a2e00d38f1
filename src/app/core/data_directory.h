#pragma once
// The data directory's first start and its shipped files.
//
// A first start is one that finds no registry file: the default data
// directory ($XDG_DATA_HOME/drossgate) is made private, filled from the
// installed defaults where a file is missing (never overwriting one), and a
// registry file naming it is written. A registry file that names a directory
// without "Settings.ini" is left alone: start-up then refuses, as it always
// did, rather than guess what the user meant.
#include <string>

// Where the installed defaults are: <program>/../share/drossgate when it
// holds "Settings.ini", else the source tree's resources when the program
// runs from a build tree; empty when neither exists.
std::string InstalledDefaultsDirectory();

enum class FirstStartResult {
    NotFirst = 0, // a registry file exists: nothing was done
    Created = 1,  // the data directory and the registry file were set up
    Failed = -1,  // something could not be written; `error` says what
};
FirstStartResult PrepareFirstStart(const std::string& defaultsDir, std::string& error);

// Copies every language file of the defaults that the data directory lacks,
// so a language shipped later can be chosen too. Existing files stay.
void AddMissingLanguageFiles(const std::string& defaultsDir, const std::string& dataDir);
