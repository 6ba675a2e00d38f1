#pragma once
// `drossgate-ctl restore`: the request line, its handling in the program and
// the reply. The channel carries one line each way, so the request's fields
// are joined by tabs and the reply's line breaks travel escaped.
//
//   restore<TAB>list[<TAB>TEXT]           the deleted rows with a copy in the bin
//   restore<TAB>row<TAB>N[<TAB>FILE]       restore row N, or save it to FILE
//   restore<TAB>search<TAB>TEXT[<TAB>FILE] the same for the one row TEXT matches
//
// Row numbers count the history's records from 1, oldest first, every
// record counted: the order the viewer lists them in when its date rule
// takes in the whole history. FILE is an absolute path.
#include <string>
#include <vector>

class CFilterApp;

inline constexpr const char* kRestoreRequestWord = "restore";

// The request line of `fields` (the words after "restore"); empty when a
// field holds a tab or a line break.
std::string RestoreRequestLine(const std::vector<std::string>& fields);

// Whether `request` is a restore request.
bool IsRestoreRequest(const std::string& request);

// Carries the request out (it may talk to a server and ask for a password:
// call it on a worker thread) and gives the reply line: "ok TEXT" or
// "error TEXT", TEXT escaped.
std::string HandleRestoreRequest(CFilterApp& app, const std::string& request);

// Line breaks as "\n" and backslashes as "\\", and back.
std::string EscapeReplyText(const std::string& text);
std::string UnescapeReplyText(const std::string& text);
