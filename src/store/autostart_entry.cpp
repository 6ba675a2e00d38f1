#include "store/autostart_entry.h"

#include "platform/text_file.h"
#include "platform/user_dirs.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
// An Exec value quotes a path with blanks or the characters the desktop
// entry rules reserve; inside quotes, `"`, `` ` ``, `$` and `\` are escaped.
std::string ExecQuoted(const std::string& program) {
    if (program.find_first_of(" \t\"'`$\\><~|&;*?#()") == std::string::npos)
        return program;
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += "\\\\"; // the value's own escape, then the Exec one
        quoted += c;
    }
    return quoted + "\"";
}
} // namespace

std::string AutostartEntryPath() {
    return XdgConfigHome() + "/autostart/drossgate.desktop";
}

bool AutostartEnabled() {
    std::string text;
    if (ReadWholeFile(AutostartEntryPath(), text) != ReadResult::Ok)
        return false;
    return text.find("\nHidden=true") == std::string::npos;
}

std::string AutostartEntryText(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Drossgate\n"
           "Comment=Deletes spam on your mail servers\n"
           "Exec=" +
           ExecQuoted(program) +
           "\n"
           "Icon=drossgate\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

int SetAutostart(bool enabled, const std::string& program, std::string& error) {
    const std::string path = AutostartEntryPath();
    if (!enabled) {
        if (unlink(path.c_str()) == 0 || errno == ENOENT)
            return 1;
        error = "cannot remove " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (program.empty() || program[0] != '/') {
        error = "the program's own path is not known";
        return -1;
    }
    // The directory is the user's, shared with other programs: 0700 only if new.
    if (!MakePrivateDirectories(XdgConfigHome() + "/autostart") ||
        !ReplaceFileAtomically(path, AutostartEntryText(program), 0644)) {
        error = "cannot write " + path;
        return -1;
    }
    return 1;
}
