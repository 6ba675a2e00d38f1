#pragma once
// A scripted mail server: one connection on a free loopback port, S: (send)
// and C: (wait for these bytes) steps played on its own thread; every byte
// the client sends is recorded until it closes. Other bytes stop the script.
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <concepts>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

struct FakeStep {
    enum class Kind { Send, Expect, Close, Repeated, Do } What;
    std::string Bytes, Reply; // Repeated: Reply answers each repetition of Bytes
    std::function<void()> Action = {};
};
using FakeKind = FakeStep::Kind;
inline const auto S = [](std::string b) { return FakeStep{FakeKind::Send, std::move(b), {}}; };
inline const auto C = [](std::string b) { return FakeStep{FakeKind::Expect, std::move(b), {}}; };
inline const auto CloseNow = [] { return FakeStep{FakeKind::Close, {}, {}}; };
// Answers `command` as often as the client sends it in a row (also never).
inline const auto Repeated = [](std::string command, std::string reply) {
    return FakeStep{FakeKind::Repeated, std::move(command), std::move(reply)};
};
// Runs `action` on the server's thread at this point of the script.
inline const auto Do = [](std::function<void()> a) { return FakeStep{FakeKind::Do, {}, {}, a}; };

// What the client must send: the script's C: steps.
inline std::string ClientSide(const std::vector<FakeStep>& script) {
    std::string bytes;
    for (const FakeStep& step : script)
        bytes += step.What == FakeKind::Expect ? step.Bytes : "";
    return bytes;
}

class CFakeServer {
  public:
    explicit CFakeServer(std::vector<FakeStep> script)
        : CFakeServer([&](int) { return std::move(script); }) {}
    // A script that needs the server's port (which OAUTHBEARER names).
    template <std::invocable<int> Script> explicit CFakeServer(Script script) {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), length);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        script_ = script(port_);
        thread_ = std::thread([this] { Run(); });
    }
    ~CFakeServer() {
        // Shutting the sockets down wakes every wait of the script.
        std::unique_lock guard(lock_);
        stopping_ = true;
        ::shutdown(client_, SHUT_RDWR);
        guard.unlock();
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }

    int Port() const { return port_; }
    // Until the script has run and the client has closed its side.
    bool WaitDone() {
        return WaitFor([&] { return done_; });
    }
    bool WaitReceived(const std::string& text) {
        return WaitFor([&] { return received_.find(text) != std::string::npos; });
    }
    std::string Received() const {
        std::lock_guard guard(lock_);
        return received_;
    }
    // Whether the client had sent more than the C: steps when the server sent.
    bool ClientWasAhead() const { return clientAhead_; }

  private:
    template <class Predicate> bool WaitFor(Predicate done) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, std::chrono::seconds(20), done);
    }
    void Run() {
        pollfd entry{listen_, POLLIN, 0};
        int fd = ::poll(&entry, 1, 20000) == 1
                     ? ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC) // no child inherits it
                     : -1;
        {
            std::lock_guard guard(lock_);
            client_ = stopping_ ? -1 : fd;
        }
        if (client_ >= 0)
            Play();
        std::lock_guard guard(lock_);
        ::close(fd);
        client_ = -1;
        done_ = true;
        changed_.notify_all();
    }
    // False when the client has closed or stays silent.
    bool ReadSome() {
        pollfd entry{client_, POLLIN, 0};
        char buffer[65536];
        ssize_t n = ::poll(&entry, 1, 20000) == 1 ? ::recv(client_, buffer, sizeof buffer, 0) : -1;
        std::lock_guard guard(lock_);
        received_.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        changed_.notify_all();
        return n > 0;
    }
    // Until the client's bytes from `from` on are `expected` or differ.
    bool ReadMatching(size_t from, const std::string& expected) {
        for (;;) {
            std::string have = Received().substr(from).substr(0, expected.size());
            if (have == expected)
                return true;
            if (!expected.starts_with(have) || !ReadSome())
                return false;
        }
    }
    // A blocking send returns short only when the client has gone.
    bool SendAll(const std::string& bytes) {
        return ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    void Play() {
        size_t cursor = 0; // bytes of the client's side used by the script so far
        for (const FakeStep& step : script_) {
            switch (step.What) {
            case FakeKind::Send:
                clientAhead_ = clientAhead_ || Received().size() > cursor;
                if (!SendAll(step.Bytes))
                    return;
                break;
            case FakeKind::Expect:
                if (!ReadMatching(cursor, step.Bytes))
                    return;
                cursor += step.Bytes.size();
                break;
            case FakeKind::Repeated:
                for (; ReadMatching(cursor, step.Bytes); cursor += step.Bytes.size())
                    if (!SendAll(step.Reply))
                        return;
                break;
            case FakeKind::Do:
                step.Action();
                break;
            case FakeKind::Close:
                return;
            }
        }
        while (ReadSome())
            ;
    }

    std::vector<FakeStep> script_;
    int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::string received_;
    int client_ = -1;
    bool stopping_ = false, done_ = false;
    std::atomic<bool> clientAhead_ = false;
};

struct CLeakCheck { // Verify() once everything under test is gone
    static long Count(const char* directory) {
        return std::distance(std::filesystem::directory_iterator(directory), {});
    }
    long Descriptors = Count("/proc/self/fd"), Threads = Count("/proc/self/task");
    void Verify() const {
        EXPECT_EQ(Count("/proc/self/fd"), Descriptors) << "a descriptor was left open";
        EXPECT_EQ(Count("/proc/self/task"), Threads) << "a thread was left running";
    }
};
