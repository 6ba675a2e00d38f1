#pragma once
// CServerConnection: the TCP (or implicit-TLS) connection of one session to
// its mail server. IPv4 only, the first address of the lookup, every wait
// bounded by a time-out. Writes never raise SIGPIPE: a server that has closed
// gives a failed send, not a dead program.
//
// Threads: one thread at a time uses a connection (the session serialises its
// step threads and its keep-alive); Abort() alone may be called from any
// thread, to wake a blocked wait.
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// True when `port` gets TLS from its first byte: 995 (POP3) and 993 (IMAP),
// and the ports listed in the environment variable DROSSGATE_TLS_PORTS
// (comma-separated; used by tests that run servers on free high ports).
bool IsImplicitTlsPort(int port);

// Results of one receive.
inline constexpr int kReceiveClosed = 0;    // the server closed the connection
inline constexpr int kReceiveFailed = -1;   // a socket or TLS error, or not connected
inline constexpr int kReceiveTimedOut = -2; // nothing arrived within the time-out

class CServerConnection {
  public:
    CServerConnection();
    virtual ~CServerConnection();
    CServerConnection(const CServerConnection&) = delete;
    CServerConnection& operator=(const CServerConnection&) = delete;

    // Looks up `host` (name or dotted IPv4), connects to its first IPv4
    // address and, on an implicit-TLS port, completes a verified TLS handshake.
    // Each of lookup, connect and handshake gives up after `timeout`.
    // 1 connected; -1 any failure (the reason is in ConnectFailure()).
    int Connect(int port, const std::string& host, std::chrono::milliseconds timeout);

    // Sends all of `bytes`. 1 sent; -1 failed, timed out or not connected.
    int SendAll(std::string_view bytes, std::chrono::milliseconds timeout);

    // One receive of at most `size` bytes: the byte count (> 0), or
    // kReceiveClosed, kReceiveFailed, kReceiveTimedOut.
    int ReceiveSome(char* buffer, int size, std::chrono::milliseconds timeout);

    // Upgrades the connected plain connection to TLS (STARTTLS), verifying
    // the certificate and host exactly as Connect does on an implicit-TLS
    // port. 1 done; -1 failed (reason in ConnectFailure()): the connection is
    // then closed, so nothing more can go over it in plain text.
    int StartTls(const std::string& host, std::chrono::milliseconds timeout);

    // Ends the connection (TLS close notify when possible) and frees the socket.
    void CloseConnection();
    bool IsConnected() const;
    bool IsTls() const;
    // The server's address is on this machine (127.0.0.0/8): a password
    // sent in plain text never crosses a network.
    bool PeerIsLoopback() const { return peerLoopback_; }

    // Makes every current and later wait of this connection fail at once.
    void Abort();

    // Why the last Connect failed, for the log: the resolver's or the
    // system's error text, or the subject of the untrusted certificate and
    // why it failed verification; the subject comes escaped, so a hostile
    // certificate cannot forge log lines.
    const std::string& ConnectFailure() const { return connectFailure_; }
    // The last handshake failed on the server's certificate (untrusted,
    // expired, another host's), not on the network.
    bool CertificateRefused() const { return certificateRefused_; }
    // The port of the last Connect.
    int ConnectedPort() const { return port_; }

  private:
    struct Tls;
    int TlsHandshake(const std::string& host, std::chrono::steady_clock::time_point deadline);
    // After an SSL_read that gave `have` bytes: adds what else is readable
    // at once, up to `size`. The byte count.
    int FillFromTls(char* buffer, int size, int have);
    // Waits for `events` on the socket until the deadline: 1 ready, 0 timed
    // out, -1 error or aborted.
    int WaitFor(short events, std::chrono::steady_clock::time_point deadline);

    // The descriptor changes only under fdLock_, so Abort() never shuts down
    // a descriptor number that another connection has been given since.
    mutable std::mutex fdLock_;
    int socket_ = -1;
    std::atomic<bool> aborted_{false};
    std::unique_ptr<Tls> tls_;
    std::string connectFailure_;
    bool peerLoopback_ = false;
    bool certificateRefused_ = false;
    int port_ = 0;
};
