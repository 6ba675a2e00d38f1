#pragma once
// A scripted mail server for session tests: listens on 127.0.0.1 (a free
// port), accepts one connection and plays a script of S: (send) and C:
// (expect exactly these bytes) steps on its own thread, recording every byte
// the client sends. After the script it keeps reading until the client closes,
// so Received() holds the whole client side of the dialogue.
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct FakeStep {
    enum class Kind { Send, Expect, Close, SendForever, Repeated };
    Kind What;
    std::string Bytes;
    std::string Reply; // Repeated: the answer to each repetition
};
inline FakeStep S(std::string bytes) {
    return {FakeStep::Kind::Send, std::move(bytes), {}};
}
inline FakeStep C(std::string bytes) {
    return {FakeStep::Kind::Expect, std::move(bytes), {}};
}
inline FakeStep CloseNow() {
    return {FakeStep::Kind::Close, {}, {}};
}
// Sends the pattern again and again until the client goes away.
inline FakeStep SendForever(std::string pattern) {
    return {FakeStep::Kind::SendForever, std::move(pattern), {}};
}
// Answers `command` with `reply` as often as the client sends it in a row
// (none at all included).
inline FakeStep Repeated(std::string command, std::string reply) {
    return {FakeStep::Kind::Repeated, std::move(command), std::move(reply)};
}

class CFakeServer {
  public:
    // `address`/`port`: another loopback address (127.0.0.2 ...) or a fixed
    // port, for tests of several accounts that share one port setting.
    explicit CFakeServer(std::vector<FakeStep> script, const char* address127 = "127.0.0.1",
                         int port = 0)
        : script_(std::move(script)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, address127, &address.sin_addr);
        address.sin_port = htons(static_cast<uint16_t>(port));
        socklen_t length = sizeof address;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        ::pipe2(stopPipe_, O_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
    }
    ~CFakeServer() {
        char wake = 1;
        (void)!::write(stopPipe_[1], &wake, 1);
        thread_.join();
        ::close(listen_);
        ::close(stopPipe_[0]);
        ::close(stopPipe_[1]);
    }
    CFakeServer(const CFakeServer&) = delete;
    CFakeServer& operator=(const CFakeServer&) = delete;

    int Port() const { return port_; }
    // Waits until the script has run and the client has closed its side.
    bool WaitDone(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, timeout, [&] { return done_; });
    }
    std::string Received() const {
        std::lock_guard guard(lock_);
        return received_;
    }
    std::string Failure() const {
        std::lock_guard guard(lock_);
        return failure_;
    }
    // Waits until the client has sent `text` (anywhere in its bytes).
    bool WaitReceived(const std::string& text,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, timeout,
                                 [&] { return received_.find(text) != std::string::npos; });
    }
    bool ClientClosed() const {
        std::lock_guard guard(lock_);
        return clientClosed_;
    }
    // Bytes sent by SendForever steps.
    size_t SentForever() const { return sentForever_.load(); }

  private:
    // Waits for `events` on fd or the stop pipe: 1 ready, 0 stop/time-out.
    int WaitFor(int fd, short events, int timeoutMs = 20000) {
        pollfd entries[2] = {{fd, events, 0}, {stopPipe_[0], POLLIN, 0}};
        int rc = ::poll(entries, 2, timeoutMs);
        if (rc <= 0 || (entries[1].revents & POLLIN))
            return 0;
        return 1;
    }
    // Reads what is there; false when the client closed or on stop.
    bool ReadSome(int fd) {
        if (WaitFor(fd, POLLIN) != 1)
            return false;
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        std::lock_guard guard(lock_);
        if (n <= 0) {
            clientClosed_ = n == 0;
            return false;
        }
        received_.append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
        return true;
    }
    bool SendAll(int fd, const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            if (WaitFor(fd, POLLOUT) != 1)
                return false;
            ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }
    void Fail(const std::string& text) {
        std::lock_guard guard(lock_);
        if (failure_.empty())
            failure_ = text;
    }
    void Run() {
        int client = -1;
        if (WaitFor(listen_, POLLIN) == 1)
            client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            Play(client);
            ::close(client);
        } else {
            Fail("no connection");
        }
        std::lock_guard guard(lock_);
        done_ = true;
        changed_.notify_all();
    }
    void Play(int client) {
        size_t cursor = 0; // bytes of the client's side matched so far
        for (const FakeStep& step : script_) {
            switch (step.What) {
            case FakeStep::Kind::Send:
                if (!SendAll(client, step.Bytes))
                    return Fail("client gone before: " + step.Bytes);
                break;
            case FakeStep::Kind::Expect: {
                while (Received().size() < cursor + step.Bytes.size())
                    if (!ReadSome(client))
                        return Fail("client did not send: " + step.Bytes);
                std::string got = Received().substr(cursor, step.Bytes.size());
                if (got != step.Bytes)
                    return Fail("expected '" + step.Bytes + "' got '" + got + "'");
                cursor += step.Bytes.size();
                break;
            }
            case FakeStep::Kind::Repeated:
                for (;;) {
                    std::string have = Received().substr(cursor, step.Bytes.size());
                    if (step.Bytes.compare(0, have.size(), have) != 0)
                        break; // the client has gone on to something else
                    if (have.size() < step.Bytes.size()) {
                        if (!ReadSome(client))
                            break;
                        continue;
                    }
                    cursor += step.Bytes.size();
                    if (!SendAll(client, step.Reply))
                        return;
                }
                break;
            case FakeStep::Kind::Close:
                return;
            case FakeStep::Kind::SendForever:
                // Keep the receive side drained so a client's commands are recorded.
                for (;;) {
                    ssize_t n = ::send(client, step.Bytes.data(), step.Bytes.size(),
                                       MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n > 0) {
                        sentForever_ += static_cast<size_t>(n);
                        continue;
                    }
                    if (n < 0 && errno != EAGAIN)
                        return;
                    pollfd entries[2] = {{client, POLLOUT | POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
                    if (::poll(entries, 2, 20000) <= 0 || (entries[1].revents & POLLIN))
                        return;
                    if ((entries[0].revents & POLLIN) && !ReadSome(client))
                        return;
                }
            }
        }
        // The rest of the client's side, up to its close.
        while (ReadSome(client)) {
        }
    }

    std::vector<FakeStep> script_;
    int listen_ = -1;
    int port_ = 0;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::string received_;
    std::string failure_;
    bool clientClosed_ = false;
    bool done_ = false;
    std::atomic<size_t> sentForever_{0};
};

// Test helpers: the process's open descriptors and threads.
inline int CountEntries(const char* directory) {
    int count = 0;
    if (DIR* dir = ::opendir(directory)) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}
inline int OpenDescriptorCount() {
    return CountEntries("/proc/self/fd") - 1;
} // minus opendir's own
inline int ThreadCount() {
    return CountEntries("/proc/self/task");
}
