#pragma once
// A scripted mail server for session tests: listens on a free port of a
// loopback address, accepts one connection and plays a script of S: (send)
// and C: (wait for these bytes) steps on its own thread. It records every
// byte the client sends and, after the script, reads on until the client
// closes, so Received() holds the client's whole side for the test to
// compare with the script's C: steps.
#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct FakeStep {
    enum class Kind { Send, Expect, Close, Repeated } What;
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
// Answers `command` with `reply` as often as the client sends it in a row
// (not at all included).
inline FakeStep Repeated(std::string command, std::string reply) {
    return {FakeStep::Kind::Repeated, std::move(command), std::move(reply)};
}

// The concatenation of the script's C: steps: what the client must send.
inline std::string ClientSide(const std::vector<FakeStep>& script) {
    std::string bytes;
    for (const FakeStep& step : script)
        if (step.What == FakeStep::Kind::Expect)
            bytes += step.Bytes;
    return bytes;
}

class CFakeServer {
  public:
    explicit CFakeServer(std::vector<FakeStep> script, const char* address = "127.0.0.1")
        : script_(std::move(script)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address, &a.sin_addr);
        socklen_t length = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~CFakeServer() {
        {
            // Shutting the sockets down wakes every wait of the script.
            std::lock_guard guard(lock_);
            stopping_ = true;
            if (client_ >= 0)
                ::shutdown(client_, SHUT_RDWR);
        }
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }
    CFakeServer(const CFakeServer&) = delete;
    CFakeServer& operator=(const CFakeServer&) = delete;

    int Port() const { return port_; }
    // Waits until the script has run and the client has closed its side.
    bool WaitDone(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, timeout, [&] { return done_; });
    }
    // Waits until the client has sent `text` (anywhere in its bytes).
    bool WaitReceived(const std::string& text,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, timeout,
                                 [&] { return received_.find(text) != std::string::npos; });
    }
    std::string Received() const {
        std::lock_guard guard(lock_);
        return received_;
    }
    // Whether the client had sent bytes beyond the script's C: steps when the
    // server sent something: a client that waits for every reply never has.
    bool ClientWasAhead() const {
        std::lock_guard guard(lock_);
        return clientAhead_;
    }

  private:
    void Run() {
        pollfd entry{listen_, POLLIN, 0};
        int client =
            ::poll(&entry, 1, 20000) == 1 ? ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        bool play;
        {
            std::lock_guard guard(lock_);
            play = client >= 0 && !stopping_;
            client_ = client;
        }
        if (play)
            Play(client);
        std::lock_guard guard(lock_);
        if (client >= 0)
            ::close(client);
        client_ = -1;
        done_ = true;
        changed_.notify_all();
    }
    // Reads what is there; false when the client has closed or stays silent.
    bool ReadSome(int fd) {
        pollfd entry{fd, POLLIN, 0};
        char buffer[65536];
        ssize_t n = ::poll(&entry, 1, 20000) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
        std::lock_guard guard(lock_);
        if (n > 0)
            received_.append(buffer, static_cast<size_t>(n));
        changed_.notify_all();
        return n > 0;
    }
    // Reads until the client's bytes from `from` on are `expected` (true) or
    // differ from it (false).
    bool ReadMatching(int fd, size_t from, const std::string& expected) {
        for (;;) {
            std::string all = Received();
            std::string have = from < all.size() ? all.substr(from, expected.size()) : "";
            if (have == expected)
                return true;
            if (expected.compare(0, have.size(), have) != 0 || !ReadSome(fd))
                return false;
        }
    }
    static bool SendAll(int fd, const std::string& bytes) {
        for (size_t sent = 0; sent < bytes.size();) {
            ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }
    void Play(int fd) {
        size_t cursor = 0; // bytes of the client's side used by the script so far
        for (const FakeStep& step : script_) {
            switch (step.What) {
            case FakeStep::Kind::Send:
                if (Received().size() > cursor) {
                    std::lock_guard guard(lock_);
                    clientAhead_ = true;
                }
                if (!SendAll(fd, step.Bytes))
                    return;
                break;
            case FakeStep::Kind::Expect:
                // Other bytes of that length fail the test's comparison later.
                while (Received().size() < cursor + step.Bytes.size())
                    if (!ReadSome(fd))
                        return;
                cursor += step.Bytes.size();
                break;
            case FakeStep::Kind::Repeated:
                for (; ReadMatching(fd, cursor, step.Bytes); cursor += step.Bytes.size())
                    if (!SendAll(fd, step.Reply))
                        return;
                break;
            case FakeStep::Kind::Close:
                return;
            }
        }
        while (ReadSome(fd)) {
        }
    }

    std::vector<FakeStep> script_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::string received_;
    int client_ = -1;
    bool stopping_ = false;
    bool done_ = false;
    bool clientAhead_ = false;
};

// Descriptors and threads now; Verify() once everything under test is gone.
struct CLeakCheck {
    static long Count(const char* directory) {
        return std::distance(std::filesystem::directory_iterator(directory), {});
    }
    long Descriptors = Count("/proc/self/fd");
    long Threads = Count("/proc/self/task");
    void Verify() const {
        EXPECT_EQ(Count("/proc/self/fd"), Descriptors) << "a descriptor was left open";
        EXPECT_EQ(Count("/proc/self/task"), Threads) << "a thread was left running";
    }
};
