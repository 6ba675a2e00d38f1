// The server connection: which ports get TLS, the cause of each connect
// failure, no fallback from TLS to plain text, and Abort. How sessions live
// through closed, silent and slow connections is in the fault matrix.
#include "app/core/filter_app.h"
#include "fake_server.h"
#include "mail/connection.h"
#include "temp_dir.h"

#include <cstring>
#include <netdb.h>
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

// Each failure gives -1, no socket and its cause in our words; a TLS port
// that answers in plain text never gets a command. The account test and the
// cycle log the cause beside "Connection Error", and the cycle ends there.
TEST(Connect, FailuresGiveMinusOneNoSocketAndTheirCause) {
    CLeakCheck leaks;
    int closed;
    {
        CFakeServer gone({}); // its port, once it has stopped listening
        closed = gone.Port();
    }
    const std::string refused = std::strerror(ECONNREFUSED);
    {
        CFakeServer plain({S("+OK plain greeting\r\n")});
        // The private test server's certificate, checked against a CA that did
        // not sign it (when that server runs).
        const char* tlsPort = std::getenv("DROSSGATE_TEST_POP3S_PORT");
        const char* otherCa = std::getenv("DROSSGATE_TEST_OTHER_CA_FILE");
        const int untrusted = tlsPort && otherCa ? std::atoi(tlsPort) : -1;
        CScopedEnv trust("SSL_CERT_FILE", otherCa ? otherCa : "");
        CScopedEnv tls("DROSSGATE_TLS_PORTS",
                       std::to_string(plain.Port()) + "," + std::to_string(untrusted));
        const struct {
            int Port;
            std::string Host, Cause;
        } rows[] = {
            {closed, "127.0.0.1",
             "connect to 127.0.0.1:" + std::to_string(closed) + ": " + refused},
            {0, "127.0.0.1", "port out of range"},
            {110, "", "no host name"},
            {110, "no-such-host.invalid",
             std::string("host no-such-host.invalid not found: ") + gai_strerror(EAI_NONAME)},
            {plain.Port(), "127.0.0.1", "TLS handshake failed"},
            {untrusted, "127.0.0.1",
             std::string("certificate /CN=localhost not trusted: ") +
                 X509_verify_cert_error_string(X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY)},
        };
        CServerConnection connection;
        for (const auto& row : rows) {
            EXPECT_EQ(connection.Connect(row.Port, row.Host, 2s), -1) << row.Cause;
            EXPECT_EQ(connection.ConnectFailure(), row.Port < 0 ? "port out of range" : row.Cause);
            EXPECT_FALSE(connection.IsConnected());
        }
        EXPECT_TRUE(plain.WaitDone());
        EXPECT_EQ(plain.Received().substr(0, 1), "\x16"); // a TLS handshake record, never a command
    }

    {
        // The second account's server listens on 127.0.0.1 only.
        CFakeServer second({S("+OK POP3 ready\r\n")});
        CTempDir dir;
        CFilterApp app;
        app.InstallPath = dir.Path();
        app.Pop3Port = second.Port();
        app.AppendAccountRecord(true, "Gone", "127.0.0.2", "u", "p");
        app.AppendAccountRecord(true, "Here", "127.0.0.1", "u", "p");
        testing::internal::CaptureStderr();
        EXPECT_EQ(app.TestAccount("127.0.0.2", "u", "p", false), 0);
        app.CheckNow();
        EXPECT_TRUE(app.WaitForCheckToFinish(60s));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("Connection Error"), std::string::npos) << log;
        EXPECT_NE(log.find(refused), std::string::npos) << log;
        EXPECT_EQ(app.GetLastStatusText(), "Connection Error");
        EXPECT_EQ(second.Received(), "") << "the cycle went on past a failed account";
    }
    leaks.Verify();
}

TEST(Connect, AbortWakesAWait) {
    CFakeServer silent({});
    CServerConnection connection;
    ASSERT_EQ(connection.Connect(silent.Port(), "127.0.0.1", 2s), 1);
    char buffer[64];
    int result = 1;
    std::thread receiver([&] { result = connection.ReceiveSome(buffer, sizeof buffer, 60s); });
    connection.Abort();
    receiver.join();
    EXPECT_EQ(result, kReceiveFailed);
}

} // namespace
