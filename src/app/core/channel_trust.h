#pragma once
// Who may stand at the other end of the companion channel: only this user.
// Both ends check the place before they use it and the peer once connected,
// so another local user can neither answer our requests nor receive them.
#include <string>

// Results of both checks.
constexpr int kChannelTrusted = 0;
constexpr int kChannelNoDirectory = 1;   // the directory is missing or not a directory
constexpr int kChannelForeignOwner = 2;  // the directory or socket belongs to another user
constexpr int kChannelOpenDirectory = 3; // group or others have any access to the directory
constexpr int kChannelSymlink = 4;       // the socket path or its directory is a symbolic link
constexpr int kChannelNotSocket = 5;     // something other than a socket is at the path
constexpr int kChannelForeignPeer = 6;   // the connected peer runs as another user
constexpr int kChannelPeerUnknown = 7;   // the peer's credentials cannot be read

// Checks the directory holding `socketPath` (owned by the effective user,
// no group or other permission bits) and, if something is at the path, that
// it is a socket of this user and not a symbolic link. A missing socket is
// fine: the server is about to create it, the client finds nobody there.
// On refusal `reason` names the path and the offending owner or mode.
int CheckChannelPlace(const std::string& socketPath, std::string& reason);

// Checks that the peer of the connected local socket `fd` runs as the
// effective user (SO_PEERCRED). On refusal `reason` names the peer's uid.
int CheckChannelPeer(int fd, std::string& reason);
