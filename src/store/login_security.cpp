#include "store/login_security.h"

#include "platform/text_file.h"

#include <mutex>
#include <sstream>

namespace {

// Every session of a check may write; the file is rewritten whole.
std::mutex gLoginSecurityLock;

bool ParseLine(const std::string& line, std::string& key, LoginSecurity& security) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos)
        return false;
    const std::string state = line.substr(0, bar);
    security.TlsSeen = state == "tls" || state == "tls+plain";
    security.PlainAllowed = state == "plain" || state == "tls+plain";
    key = line.substr(bar + 1);
    return security.TlsSeen || security.PlainAllowed;
}

std::string StateWord(LoginSecurity security) {
    return security.TlsSeen && security.PlainAllowed ? "tls+plain"
           : security.TlsSeen                        ? "tls"
                                                     : "plain";
}

} // namespace

std::string LoginSecurityKey(char typeLetter, const std::string& server, const std::string& user) {
    return std::string(1, typeLetter) + '|' + server + '|' + user;
}

LoginSecurity ReadLoginSecurity(const std::string& path, const std::string& key) {
    std::lock_guard guard(gLoginSecurityLock);
    std::string text;
    LoginSecurity found;
    if (ReadWholeFile(path, text) != ReadResult::Ok)
        return found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string lineKey;
        LoginSecurity security;
        if (ParseLine(line, lineKey, security) && lineKey == key)
            found = security;
    }
    return found;
}

int WriteLoginSecurity(const std::string& path, const std::string& key, LoginSecurity security) {
    std::lock_guard guard(gLoginSecurityLock);
    std::string text;
    if (ReadWholeFile(path, text) == ReadResult::Failed)
        return -1;
    std::istringstream lines(text);
    std::string kept;
    bool found = false, changed = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string lineKey;
        LoginSecurity old;
        if (!ParseLine(line, lineKey, old))
            continue;
        if (lineKey == key) {
            found = true;
            changed = old.TlsSeen != security.TlsSeen || old.PlainAllowed != security.PlainAllowed;
            continue;
        }
        kept += line + "\r\n";
    }
    if (!found)
        changed = security.TlsSeen || security.PlainAllowed;
    if (!changed)
        return 1;
    if (security.TlsSeen || security.PlainAllowed)
        kept += StateWord(security) + '|' + key + "\r\n";
    return ReplaceFileAtomically(path, kept) ? 1 : -1;
}

bool PlainTextWithoutAsking(bool peerIsLoopback, LoginSecurity security) {
    return security.PlainAllowed || (peerIsLoopback && !security.TlsSeen);
}
