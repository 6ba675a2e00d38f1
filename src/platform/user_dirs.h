#pragma once
// The user's standard places on a desktop: home, the XDG base directories,
// and where the running program was installed.
#include <string>

std::string HomeDirectory();       // $HOME, else the password database, else "/"
std::string XdgConfigHome();       // $XDG_CONFIG_HOME, else ~/.config
std::string XdgDataHome();         // $XDG_DATA_HOME, else ~/.local/share
std::string ExecutablePath();      // the running program's file; empty when unknown
std::string ExecutableDirectory(); // its directory; empty when unknown

// Creates `path` and any missing parents with mode 0700 (an existing
// directory keeps its mode). true when it is a directory afterwards.
bool MakePrivateDirectories(const std::string& path);
