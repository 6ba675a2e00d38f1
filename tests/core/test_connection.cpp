// The server connection: which ports get TLS, connect failures, no SIGPIPE,
// Abort, and no fallback from TLS to plain text. How sessions live through
// closed and silent connections is in the fault matrix.
#include "fake_server.h"
#include "mail/connection.h"
#include "temp_dir.h"

#include <csignal>

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

TEST(Connect, FailuresGiveMinusOneAndNoSocket) {
    CLeakCheck leaks;
    int closedPort;
    {
        CFakeServer gone({}); // its port, once it has stopped listening
        closedPort = gone.Port();
    }
    CServerConnection connection;
    for (int port : {closedPort, 0, 70000})
        EXPECT_EQ(connection.Connect(port, "127.0.0.1", 2s), -1) << port;
    EXPECT_EQ(connection.Connect(110, "", 2s), -1);
    EXPECT_EQ(connection.Connect(110, "no-such-host.invalid", 2s), -1);
    EXPECT_FALSE(connection.IsConnected());
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
