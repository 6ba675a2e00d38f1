#pragma once
// Where the companion channel listens: $DROSSGATE_CHANNEL when set, else
// $XDG_RUNTIME_DIR/drossgate.sock, else a socket in a per-user directory
// under /tmp that only the user can open. Either way the directory must be
// the user's own and private.
#include <functional>
#include <string>

// The socket path; empty (with `error` saying why) when no safe place exists
// or the place fails CheckChannelPlace.
std::string ChannelSocketPath(std::string& error);

// Sends one request line and reads one reply line (without its LF). Lines
// before it that start with "progress " go to `progress` (when given); the
// time-out then counts from the last of them.
// 1 on success; 0 when no instance answers; -1 on a broken exchange;
// -2 when the peer runs as another user (nothing sent; `refusal` says why).
// timeoutMs bounds the wait for the reply (0 = wait forever).
int SendChannelRequest(const std::string& socketPath, const std::string& request,
                       std::string& reply, long long timeoutMs, std::string& refusal,
                       const std::function<void(const std::string&)>& progress = {});
