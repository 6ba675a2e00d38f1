#pragma once
#include <string>

// Joins a directory and a file name the way the data-file code expects: one
// "/" in between, nothing normalised (a directory ending in "/" gives "//").
inline std::string JoinPath(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}
