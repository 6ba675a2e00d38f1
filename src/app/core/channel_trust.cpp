#include "app/core/channel_trust.h"

#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}
} // namespace

int CheckChannelPlace(const std::string& socketPath, std::string& reason) {
    size_t slash = socketPath.rfind('/');
    std::string dir = slash == std::string::npos ? "." : socketPath.substr(0, slash);
    if (dir.empty())
        dir = "/";
    const uid_t me = ::geteuid();
    struct stat st {};
    // Not followed through a link: whoever owns the link could re-point it
    // between this check and the socket's use.
    if (::lstat(dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        reason = "the channel directory " + dir + " is a symbolic link";
        return kChannelSymlink;
    }
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        reason = "the channel directory " + dir + " does not exist or is not a directory";
        return kChannelNoDirectory;
    }
    if (st.st_uid != me) {
        reason = "the channel directory " + dir + " belongs to uid " + std::to_string(st.st_uid) +
                 ", not to this user (uid " + std::to_string(me) + ")";
        return kChannelForeignOwner;
    }
    if ((st.st_mode & 077) != 0) {
        reason = "the channel directory " + dir + " has mode " + Octal(st.st_mode) +
                 "; it must be private to its owner (no group or other access)";
        return kChannelOpenDirectory;
    }
    if (::lstat(socketPath.c_str(), &st) != 0)
        return kChannelTrusted; // nothing there yet
    if (S_ISLNK(st.st_mode)) {
        reason = "the channel " + socketPath + " is a symbolic link";
        return kChannelSymlink;
    }
    if (!S_ISSOCK(st.st_mode)) {
        reason = "the channel " + socketPath + " is not a socket";
        return kChannelNotSocket;
    }
    if (st.st_uid != me) {
        reason = "the channel " + socketPath + " belongs to uid " + std::to_string(st.st_uid);
        return kChannelForeignOwner;
    }
    return kChannelTrusted;
}

int CheckChannelPeer(int fd, std::string& reason) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) {
        reason = "cannot read the user id of the channel peer";
        return kChannelPeerUnknown;
    }
    if (peer.uid != ::geteuid()) {
        reason = "the channel peer (pid " + std::to_string(peer.pid) + ") runs as uid " +
                 std::to_string(peer.uid) + ", not as this user (uid " +
                 std::to_string(::geteuid()) + ")";
        return kChannelForeignPeer;
    }
    return kChannelTrusted;
}
