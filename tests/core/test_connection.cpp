// The server connection: which ports get TLS, connect failures, no SIGPIPE,
// Abort, and no fallback from TLS to plain text. How sessions live through
// closed and silent connections is in the fault matrix.
#include "app/core/filter_app.h"
#include "fake_server.h"
#include "mail/connection.h"
#include "temp_dir.h"

#include <csignal>
#include <cstring>
#include <netdb.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

using namespace std::chrono_literals;

TEST(ImplicitTls, StandardPortsAndTestList) {
    {
        CScopedEnv none("DROSSGATE_TLS_PORTS", "");
        EXPECT_TRUE(IsImplicitTlsPort(995) && IsImplicitTlsPort(993));
        EXPECT_FALSE(IsImplicitTlsPort(110) || IsImplicitTlsPort(143));
    }
    CScopedEnv extra("DROSSGATE_TLS_PORTS", "10995,x,10993,12a");
    EXPECT_TRUE(IsImplicitTlsPort(10995) && IsImplicitTlsPort(10993));
    EXPECT_FALSE(IsImplicitTlsPort(12) || IsImplicitTlsPort(1099));
}

// A TLS server whose certificate no one signed: it answers one handshake.
class CSelfSignedTlsServer {
  public:
    CSelfSignedTlsServer() {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = X509_new();
        X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Nobody Signed"), -1, -1,
                                   0);
        X509_set_issuer_name(certificate, name);
        X509_set_pubkey(certificate, key);
        X509_sign(certificate, key, EVP_sha256());
        SSL_CTX_use_certificate(context_, certificate);
        SSL_CTX_use_PrivateKey(context_, key);
        X509_free(certificate);
        EVP_PKEY_free(key);
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), length);
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            SSL* session = SSL_new(context_);
            SSL_set_fd(session, fd);
            SSL_accept(session); // fails when the client gives up
            SSL_free(session);
            ::close(fd);
        });
    }
    ~CSelfSignedTlsServer() {
        thread_.join();
        ::close(listen_);
        SSL_CTX_free(context_);
    }
    int Port() const { return port_; }

  private:
    SSL_CTX* context_ = SSL_CTX_new(TLS_server_method());
    int listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::thread thread_;
};

// Each failure gives -1, no socket and its cause in our words; the check
// cycle's account test logs that cause beside "Connection Error".
TEST(Connect, FailuresGiveMinusOneNoSocketAndTheirCause) {
    CLeakCheck leaks;
    int closedPort;
    {
        CFakeServer gone({}); // its port, once it has stopped listening
        closedPort = gone.Port();
    }
    const std::string refused = std::strerror(ECONNREFUSED);
    {
        CSelfSignedTlsServer untrusted;
        CScopedEnv tls("DROSSGATE_TLS_PORTS", std::to_string(untrusted.Port()));
        const struct {
            int Port;
            std::string Host, Cause, Detail;
        } rows[] = {
            {closedPort, "127.0.0.1", "127.0.0.1:" + std::to_string(closedPort) + ": ", refused},
            {0, "127.0.0.1", "port out of range", ""},
            {70000, "127.0.0.1", "port out of range", ""},
            {110, "", "no host name", ""},
            {110, "no-such-host.invalid",
             "host no-such-host.invalid not found: ", gai_strerror(EAI_NONAME)},
            {untrusted.Port(), "127.0.0.1", "certificate /CN=Nobody Signed not trusted: ",
             X509_verify_cert_error_string(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT)},
        };
        CServerConnection connection;
        for (const auto& row : rows) {
            EXPECT_EQ(connection.Connect(row.Port, row.Host, 2s), -1) << row.Cause;
            EXPECT_NE(connection.ConnectFailure().find(row.Cause + row.Detail), std::string::npos)
                << connection.ConnectFailure();
            EXPECT_FALSE(connection.IsConnected());
        }
    }
    CTempDir dir;
    CFilterApp app;
    app.InstallPath = dir.Path();
    app.Pop3Port = closedPort;
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.TestAccount("127.0.0.1", "u", "p", false), 0);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Connection Error"), std::string::npos) << log;
    EXPECT_NE(log.find(refused), std::string::npos) << log;
    leaks.Verify();
}

TEST(Connect, NoSignalOnClosedPeerAndAbortWakesAWait) {
    std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end this test program
    CFakeServer closing({S("+OK\r\n"), CloseNow()});
    CServerConnection connection;
    ASSERT_EQ(connection.Connect(closing.Port(), "127.0.0.1", 2s), 1);
    char buffer[64];
    EXPECT_EQ(connection.ReceiveSome(buffer, sizeof buffer, 2s), 5);
    EXPECT_EQ(connection.ReceiveSome(buffer, sizeof buffer, 2s), kReceiveClosed);
    int result = 1;
    for (int i = 0; i < 100 && result == 1; ++i)
        result = connection.SendAll(std::string(4096, 'y'), 2s);
    EXPECT_EQ(result, -1);

    CFakeServer silent({});
    ASSERT_EQ(connection.Connect(silent.Port(), "127.0.0.1", 2s), 1);
    std::thread receiver([&] { result = connection.ReceiveSome(buffer, sizeof buffer, 60s); });
    connection.Abort();
    receiver.join();
    EXPECT_EQ(result, kReceiveFailed);
}

// A TLS port that answers in plain text: the handshake fails and nothing but
// the handshake's own bytes is ever sent.
TEST(Connect, TlsPortNeverFallsBackToPlainText) {
    CFakeServer server({S("+OK plain greeting\r\n")});
    CScopedEnv tls("DROSSGATE_TLS_PORTS", std::to_string(server.Port()));
    CServerConnection connection;
    EXPECT_EQ(connection.Connect(server.Port(), "127.0.0.1", 2s), -1);
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_TRUE(server.WaitDone());
    std::string sent = server.Received();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0], '\x16'); // a TLS handshake record, never a command
}

} // namespace
