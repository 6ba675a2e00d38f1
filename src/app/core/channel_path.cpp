#include "app/core/channel_path.h"

#include "app/core/channel_trust.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
std::string UncheckedPath(std::string& error) {
    if (const char* explicitPath = std::getenv("DROSSGATE_CHANNEL"); explicitPath && *explicitPath)
        return explicitPath;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/drossgate.sock";
    std::string dir = "/tmp/drossgate-" + std::to_string(getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + dir + ": " + std::strerror(errno);
        return {};
    }
    return dir + "/channel";
}
} // namespace

std::string ChannelSocketPath(std::string& error) {
    std::string path = UncheckedPath(error);
    if (!path.empty() && CheckChannelPlace(path, error) != kChannelTrusted)
        return {};
    return path;
}

int SendChannelRequest(const std::string& socketPath, const std::string& request,
                       std::string& reply, long long timeoutMs, std::string& refusal,
                       const std::function<void(const std::string&)>& progress) {
    reply.clear();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return 0;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return 0;
    }
    // Nothing is sent to, or believed from, a program of another user.
    if (CheckChannelPeer(fd, refusal) != kChannelTrusted) {
        ::close(fd);
        return -2;
    }
    std::string line = request + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    int result = -1;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int ready =
            ::poll(&p, 1, timeoutMs > 0 ? static_cast<int>(std::min(timeoutMs, 2147483647LL)) : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
        size_t lf = reply.find('\n');
        while (lf != std::string::npos && reply.starts_with("progress ")) {
            if (progress)
                progress(reply.substr(0, lf));
            reply.erase(0, lf + 1);
            lf = reply.find('\n');
        }
        if (lf != std::string::npos) {
            reply.resize(lf);
            result = 1;
            break;
        }
        if (reply.size() > 1 << 20)
            break;
    }
    ::close(fd);
    return result;
}
