#pragma once
// Training the learned score from mail the user already sorted: a folder of
// .eml files, a Maildir or an mbox file, all of it spam or all of it not.
// Each mail is learned once however often it is given (its text's digest is
// its identity), and the token file is written at the end.
//
// Threads: call on a worker thread (it reads many files); no AppLock.
#include <functional>
#include <string>

class CFilterApp;

// `progress(done, total)` a few times a second and after the last mail:
// often enough for a progress bar, not once per mail; false from it stops
// the training (what was learned so far stays). Returns the number of mails read, or -1
// when nothing could be read at `path` (`error` says why).
long LearnFromMailAt(CFilterApp& app, const std::string& path, bool spam,
                     const std::function<bool(long done, long total)>& progress,
                     std::string& error);

// The request line of `drossgate-ctl learn` and its reading; false when the
// line is no such request.
std::string LearnRequestLine(bool spam, const std::string& path);
bool ParseLearnRequest(const std::string& line, bool& spam, std::string& path);

// Answers a learn request for the channel: "progress DONE TOTAL" lines
// through `progress`, then the final reply ("ok TEXT" or "error TEXT").
std::string HandleLearnRequest(CFilterApp& app, const std::string& line,
                               const std::function<void(const std::string&)>& progress);
