#pragma once
// A man in the middle on 127.0.0.1: relays one connection to the test
// server, removes what `strip` matches (by default the offer of STARTTLS:
// POP3 "STLS", IMAP "STARTTLS") from what the server says, and keeps what
// the client sent.
#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class CStrippingRelay {
  public:
    explicit CStrippingRelay(int serverPort, const std::string& strip = "STLS\r\n| STARTTLS")
        : serverPort_(serverPort), strip_(strip) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~CStrippingRelay() {
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
    }
    int Port() const { return port_; }
    std::string ClientSent() const {
        std::lock_guard guard(lock_);
        return clientSent_;
    }

  private:
    void Run() {
        pollfd wait{listen_, POLLIN, 0};
        if (::poll(&wait, 1, 20000) != 1)
            return;
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(serverPort_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (client >= 0 &&
            ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            Relay(client, server);
        ::close(client);
        ::close(server);
    }
    void Relay(int client, int server) {
        for (;;) {
            pollfd ends[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(ends, 2, 20000) <= 0)
                return;
            char buffer[65536];
            for (int side = 0; side < 2; ++side) {
                if (!(ends[side].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::recv(ends[side].fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return;
                std::string bytes(buffer, static_cast<size_t>(n));
                if (side == 0) {
                    std::lock_guard guard(lock_);
                    clientSent_ += bytes;
                } else {
                    bytes = std::regex_replace(bytes, strip_, "");
                }
                ::send(ends[1 - side].fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
        }
    }

    int serverPort_, port_ = 0, listen_ = -1;
    const std::regex strip_;
    mutable std::mutex lock_;
    std::string clientSent_;
    std::thread thread_;
};
