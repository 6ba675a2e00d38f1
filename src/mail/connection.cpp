#include "mail/connection.h"

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

bool IsImplicitTlsPort(int port) {
    if (port == 995 || port == 993)
        return true;
    const char* extra = std::getenv("DROSSGATE_TLS_PORTS");
    if (!extra)
        return false;
    std::string_view list(extra);
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string item(list.substr(0, comma));
        char* end = nullptr;
        long value = std::strtol(item.c_str(), &end, 10);
        if (end != item.c_str() && *end == '\0' && value == port)
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

namespace {

// A socket BIO of our own: it sends with MSG_NOSIGNAL (OpenSSL's socket BIO
// uses write(), which raises SIGPIPE on a closed connection) and reports
// "try again" on a non-blocking socket, so every wait stays under our
// time-out.
int BioWrite(BIO* bio, const char* data, int length) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    BIO_clear_retry_flags(bio);
    ssize_t sent = ::send(fd, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int BioRead(BIO* bio, char* data, int length) {
    int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    BIO_clear_retry_flags(bio);
    ssize_t received = ::recv(fd, data, static_cast<size_t>(length), 0);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return static_cast<int>(received);
}

int BioPuts(BIO* bio, const char* text) {
    return BioWrite(bio, text, static_cast<int>(strlen(text)));
}

long BioCtrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "drossgate socket");
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_puts(m, BioPuts);
        BIO_meth_set_ctrl(m, BioCtrl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }();
    return method;
}

std::chrono::milliseconds Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? std::chrono::milliseconds(0) : left;
}

// IPv4 lookup of a host name, bounded by the deadline. getaddrinfo has no
// time-out of its own, so a name (not a dotted address) is looked up on a
// helper thread that is left to finish by itself if the deadline passes.
// "" found, else why not.
std::string LookUpIpv4(const std::string& host, Clock::time_point deadline, in_addr& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result) {
        address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
        freeaddrinfo(result);
        return {};
    }
    struct Lookup {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        int error = 0;
        in_addr address{};
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread resolver;
    try {
        resolver = std::thread([lookup, host] {
            addrinfo nameHints{};
            nameHints.ai_family = AF_INET;
            nameHints.ai_socktype = SOCK_STREAM;
            addrinfo* list = nullptr;
            int rc = getaddrinfo(host.c_str(), nullptr, &nameHints, &list);
            std::lock_guard guard(lookup->lock);
            lookup->error = rc != 0 ? rc : list ? 0 : EAI_NONAME;
            if (lookup->error == 0)
                lookup->address = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
            if (list)
                freeaddrinfo(list);
            lookup->finished = true;
            lookup->done.notify_all();
        });
    } catch (const std::system_error&) {
        return "no thread for the lookup";
    }
    bool finished;
    {
        std::unique_lock guard(lookup->lock);
        finished = lookup->done.wait_until(guard, deadline, [&] { return lookup->finished; });
    }
    if (!finished) {
        // Left to finish by itself; it holds its own share of the result.
        resolver.detach();
        return "lookup timed out";
    }
    resolver.join();
    address = lookup->address;
    return lookup->error == 0 ? std::string() : gai_strerror(lookup->error);
}

// Keeps the subject of a server certificate that fails verification, for
// the log: the verify result alone does not say which certificate.
int KeepUntrustedSubject(int trusted, X509_STORE_CTX* store) {
    SSL* session =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* subject = session ? static_cast<std::string*>(SSL_get_app_data(session)) : nullptr;
    X509* certificate = X509_STORE_CTX_get0_cert(store);
    if (!trusted && subject && subject->empty() && certificate) {
        char name[512];
        X509_NAME_oneline(X509_get_subject_name(certificate), name, sizeof name);
        *subject = name;
    }
    return trusted;
}

bool IsIpv4Literal(const std::string& host) {
    in_addr unused{};
    return inet_pton(AF_INET, host.c_str(), &unused) == 1;
}

} // namespace

struct CServerConnection::Tls {
    SSL_CTX* Context = nullptr;
    SSL* Session = nullptr;
    std::string UntrustedSubject;
    ~Tls() {
        if (Session)
            SSL_free(Session);
        if (Context)
            SSL_CTX_free(Context);
    }
};

CServerConnection::CServerConnection() = default;

CServerConnection::~CServerConnection() {
    CloseConnection();
}

bool CServerConnection::IsConnected() const {
    std::lock_guard guard(fdLock_);
    return socket_ >= 0;
}

bool CServerConnection::IsTls() const {
    return tls_ != nullptr;
}

void CServerConnection::Abort() {
    aborted_ = true;
    std::lock_guard guard(fdLock_);
    if (socket_ >= 0)
        ::shutdown(socket_, SHUT_RDWR);
}

void CServerConnection::CloseConnection() {
    if (tls_ && tls_->Session && socket_ >= 0) {
        // One close notify, without waiting for the server's.
        ERR_clear_error();
        SSL_shutdown(tls_->Session);
    }
    tls_.reset();
    std::lock_guard guard(fdLock_);
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

int CServerConnection::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        if (aborted_)
            return -1;
        pollfd entry{socket_, events, 0};
        auto left = Remaining(deadline);
        int rc = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (rc > 0)
            return aborted_ ? -1 : 1;
        if (rc == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

int CServerConnection::Connect(int port, const std::string& host,
                               std::chrono::milliseconds timeout) {
    CloseConnection();
    connectFailure_.clear();
    certificateRefused_ = false;
    peerLoopback_ = false;
    port_ = port;
    auto deadline = Clock::now() + timeout;
    if (port <= 0 || port > 65535) {
        connectFailure_ = "port out of range";
        return -1;
    }
    in_addr address{};
    if (host.empty()) {
        connectFailure_ = "no host name";
        return -1;
    }
    if (std::string lookup = LookUpIpv4(host, deadline, address); !lookup.empty()) {
        connectFailure_ = "host " + host + " not found: " + lookup;
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        connectFailure_ = "no socket";
        return -1;
    }
    {
        std::lock_guard guard(fdLock_);
        socket_ = fd;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr = address;
    peerLoopback_ = (ntohl(address.s_addr) >> 24) == 127;
    const std::string target = host + ":" + std::to_string(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        if (errno != EINPROGRESS) {
            connectFailure_ = "connect to " + target + ": " + std::strerror(errno);
            CloseConnection();
            return -1;
        }
        int ready = WaitFor(POLLOUT, deadline);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0) {
            connectFailure_ = "connect to " + target + ": " +
                              (ready == 0  ? "timed out"
                               : ready < 0 ? "aborted"
                                           : std::strerror(error));
            CloseConnection();
            return -1;
        }
    }
    if (IsImplicitTlsPort(port) && TlsHandshake(host, deadline) != 1) {
        CloseConnection();
        return -1;
    }
    return 1;
}

int CServerConnection::StartTls(const std::string& host, std::chrono::milliseconds timeout) {
    connectFailure_.clear();
    certificateRefused_ = false;
    if (socket_ < 0 || tls_) {
        connectFailure_ = tls_ ? "TLS already in use" : "not connected";
        return -1;
    }
    if (TlsHandshake(host, Clock::now() + timeout) != 1) {
        CloseConnection();
        return -1;
    }
    return 1;
}

int CServerConnection::TlsHandshake(const std::string& host, Clock::time_point deadline) {
    tls_ = std::make_unique<Tls>();
    ERR_clear_error();
    tls_->Context = SSL_CTX_new(TLS_client_method());
    if (!tls_->Context) {
        connectFailure_ = "TLS unavailable";
        return -1;
    }
    SSL_CTX_set_min_proto_version(tls_->Context, TLS1_2_VERSION);
    // The system's trust store; SSL_CERT_FILE and SSL_CERT_DIR are honoured.
    SSL_CTX_set_default_verify_paths(tls_->Context);
    SSL_CTX_set_verify(tls_->Context, SSL_VERIFY_PEER, KeepUntrustedSubject);
    tls_->Session = SSL_new(tls_->Context);
    if (tls_->Session)
        SSL_set_app_data(tls_->Session, &tls_->UntrustedSubject);
    BIO* bio = tls_->Session ? BIO_new(SocketBioMethod()) : nullptr;
    if (!bio) {
        connectFailure_ = "TLS unavailable";
        return -1;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socket_)));
    SSL_set_bio(tls_->Session, bio, bio);
    if (IsIpv4Literal(host)) {
        // An address is checked against the certificate's IP entries; SNI
        // carries host names only.
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls_->Session), host.c_str());
    } else {
        SSL_set1_host(tls_->Session, host.c_str());
        SSL_set_tlsext_host_name(tls_->Session, host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        int rc = SSL_connect(tls_->Session);
        if (rc == 1)
            break;
        int error = SSL_get_error(tls_->Session, rc);
        int ready = -1;
        if (error == SSL_ERROR_WANT_READ)
            ready = WaitFor(POLLIN, deadline);
        else if (error == SSL_ERROR_WANT_WRITE)
            ready = WaitFor(POLLOUT, deadline);
        if (ready != 1) {
            long verify = SSL_get_verify_result(tls_->Session);
            certificateRefused_ = ready != 0 && verify != X509_V_OK;
            connectFailure_ = ready == 0 ? "TLS handshake timed out"
                              : verify != X509_V_OK
                                  ? "certificate " + tls_->UntrustedSubject +
                                        " not trusted: " + X509_verify_cert_error_string(verify)
                                  : "TLS handshake failed";
            return -1;
        }
    }
    if (SSL_get_verify_result(tls_->Session) != X509_V_OK ||
        SSL_get0_peer_certificate(tls_->Session) == nullptr) {
        connectFailure_ = "certificate not trusted";
        certificateRefused_ = true;
        return -1;
    }
    return 1;
}

int CServerConnection::SendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
    if (socket_ < 0 || aborted_)
        return -1;
    auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        if (tls_) {
            ERR_clear_error();
            int rc = SSL_write(tls_->Session, bytes.data(), static_cast<int>(bytes.size()));
            if (rc > 0) {
                bytes.remove_prefix(static_cast<size_t>(rc));
                continue;
            }
            int error = SSL_get_error(tls_->Session, rc);
            short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                           : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                           : 0;
            if (events == 0 || WaitFor(events, deadline) != 1)
                return -1;
            continue;
        }
        ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return -1;
        if (WaitFor(POLLOUT, deadline) != 1)
            return -1;
    }
    return 1;
}

int CServerConnection::FillFromTls(char* buffer, int size, int have) {
    // One SSL_read gives at most one record (16 KB): take what has arrived
    // behind it too, without waiting, so a large reply needs few receives.
    while (have < size) {
        ERR_clear_error();
        const int rc = SSL_read(tls_->Session, buffer + have, size - have);
        if (rc <= 0) {
            // Nothing more now, or an end or error that the next receive
            // reports: what was read is returned first.
            ERR_clear_error();
            break;
        }
        have += rc;
    }
    return have;
}

int CServerConnection::ReceiveSome(char* buffer, int size, std::chrono::milliseconds timeout) {
    if (socket_ < 0 || aborted_ || size <= 0)
        return kReceiveFailed;
    auto deadline = Clock::now() + timeout;
    for (;;) {
        if (tls_) {
            ERR_clear_error();
            int rc = SSL_read(tls_->Session, buffer, size);
            if (rc > 0)
                return FillFromTls(buffer, size, rc);
            int error = SSL_get_error(tls_->Session, rc);
            if (error == SSL_ERROR_ZERO_RETURN)
                return kReceiveClosed;
            short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                           : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                           : 0;
            if (events == 0)
                return kReceiveFailed;
            int ready = WaitFor(events, deadline);
            if (ready != 1)
                return ready == 0 ? kReceiveTimedOut : kReceiveFailed;
            continue;
        }
        ssize_t received = ::recv(socket_, buffer, static_cast<size_t>(size), 0);
        if (received > 0)
            return static_cast<int>(received);
        // Abort() shuts the socket down, which recv reports as an orderly close.
        if (received == 0)
            return aborted_ ? kReceiveFailed : kReceiveClosed;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return kReceiveFailed;
        int ready = WaitFor(POLLIN, deadline);
        if (ready != 1)
            return ready == 0 ? kReceiveTimedOut : kReceiveFailed;
    }
}
