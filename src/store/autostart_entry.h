#pragma once
// The desktop's start at login: the entry
// $XDG_CONFIG_HOME/autostart/drossgate.desktop, which the session starts when
// the user logs in. Drossgate owns that one file and nothing else there.
#include <string>

std::string AutostartEntryPath();

// True when the entry exists and is not switched off by Hidden=true.
bool AutostartEnabled();

// Writes the entry (starting `program`, an absolute path) or removes it.
// 1 on success; -1 with `error` saying why. Removing an absent entry succeeds.
int SetAutostart(bool enabled, const std::string& program, std::string& error);

// The entry's text for `program`.
std::string AutostartEntryText(const std::string& program);
