#pragma once
// Mail the user keeps elsewhere, read to train the learned score: a folder
// of .eml files, a Maildir (cur/ and new/, and its sub-folders), an mbox file
// ("From " lines between the messages), or a single message file. Folders
// are searched through their sub-folders; links to folders are not followed,
// so a loop cannot trap the search.
#include <cstdint>
#include <functional>
#include <string>

// A message file (or a message in an mbox) larger than this is skipped.
inline constexpr uint64_t kMaxFolderMessageBytes = uint64_t{32} << 20;

// Calls `each` with every message found at `path`, as stored (in an mbox
// with the quoting of its "From " lines undone); `each` returns false to
// stop. Returns how many messages were handed over, or -1 when `path` is
// neither a readable folder nor a readable file (`error` says why).
// `skipped`: messages left out, too large or unreadable.
long ForEachMailAt(const std::string& path, const std::function<bool(std::string message)>& each,
                   std::string* error = nullptr, long* skipped = nullptr);

// How many messages ForEachMailAt would hand over, without keeping any.
long CountMailsAt(const std::string& path, std::string* error = nullptr);
