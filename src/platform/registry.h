#pragma once
// Stand-in for the per-machine registry: the values of the key
// "Software\Tarn Wick\Dorn\Spurl" live in an INI-shaped file whose section is
// that key. The file is $DROSSGATE_REGISTRY, else
// $XDG_CONFIG_HOME/drossgate/registry.ini (default ~/.config/...), else
// /etc/drossgate/registry.ini.
#include <string>

inline constexpr const char* kRegistryKey = "Software\\Tarn Wick\\Dorn\\Spurl";

// The registry file in use: the first of the three places that exists, or the
// first place that applies when none exists (where a new one would be written).
std::string RegistryFilePath();

// Reads one string value of the key into `value`, cut to 254 bytes (a buffer
// of 255 with its terminator). 1 on success; -1 when the file, the key or the
// value is missing (`value` is then unchanged).
int RegQueryValue(const std::string& valueName, std::string& value);

// Writes one string value of the key into the registry file in use, creating
// the file (and its directory, private) when there is none. 1 on success, -1
// when the file could not be written.
int RegSetValue(const std::string& valueName, const std::string& value);
