#pragma once
// The sender list files ("Friend List.zrk", "Blocked List.zrk"): one entry
// per line, "   name@domain" CR LF, the name "*" standing for the whole
// domain. A record is known by the byte offset of its line; deleting one
// overwrites its three status bytes with a marker, so no offset moves until
// the files are compacted. The operations are members of CFilterApp.
#include <cstdint>
#include <string>

inline constexpr const char* kSenderLiveStatus = "   ";
inline constexpr const char* kSenderDeletedMarker = "|*|";
inline constexpr const char* kAccountDeletedMarker = "-->";
inline constexpr const char* kWholeDomainName = "*";

// What AppendSender returns when the line was not written: the file could
// not be opened, or name or domain holds a line break (it would split the
// entry into two lines and plant a second entry).
inline constexpr uint32_t kSenderNotWritten = UINT32_MAX;

// "{name} @domain", as the list pages show an entry.
inline std::string SenderDisplayText(const std::string& name, const std::string& domain) {
    return "{" + name + "} @" + domain;
}
