// The server connection: which ports get TLS, connect failures, receive
// results, no SIGPIPE, no fallback from TLS to plain text.
#include "fake_server.h"
#include "mail/connection.h"
#include "temp_dir.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(ImplicitTls, StandardPortsAndTestList) {
    {
        CScopedEnv none("DROSSGATE_TLS_PORTS", "");
        EXPECT_TRUE(IsImplicitTlsPort(995));
        EXPECT_TRUE(IsImplicitTlsPort(993));
        EXPECT_FALSE(IsImplicitTlsPort(110));
        EXPECT_FALSE(IsImplicitTlsPort(143));
    }
    CScopedEnv extra("DROSSGATE_TLS_PORTS", "10995,x,10993,12a");
    EXPECT_TRUE(IsImplicitTlsPort(10995));
    EXPECT_TRUE(IsImplicitTlsPort(10993));
    EXPECT_FALSE(IsImplicitTlsPort(12));
    EXPECT_FALSE(IsImplicitTlsPort(1099));
}

// A port nobody listens on: bound, never listened.
int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(Connect, FailuresGiveMinusOneAndNoSocket) {
    int descriptors = OpenDescriptorCount();
    CServerConnection connection;
    EXPECT_EQ(connection.Connect(ClosedPort(), "127.0.0.1", 2s), -1);
    EXPECT_EQ(connection.Connect(0, "127.0.0.1", 2s), -1);
    EXPECT_EQ(connection.Connect(70000, "127.0.0.1", 2s), -1);
    EXPECT_EQ(connection.Connect(110, "", 2s), -1);
    EXPECT_EQ(connection.Connect(110, "no-such-host.invalid", 2s), -1);
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST(Connect, ReceiveResultsAndNoSignalOnClosedPeer) {
    std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end this test program
    CFakeServer server({S("+OK hi\r\n"), C("X\r\n"), CloseNow()});
    CServerConnection connection;
    ASSERT_EQ(connection.Connect(server.Port(), "127.0.0.1", 2s), 1);
    char buffer[64];
    EXPECT_EQ(connection.ReceiveSome(buffer, sizeof buffer, 2s), 8);
    EXPECT_EQ(connection.ReceiveSome(buffer, sizeof buffer, 50ms), kReceiveTimedOut);
    EXPECT_EQ(connection.SendAll("X\r\n", 2s), 1);
    EXPECT_EQ(connection.ReceiveSome(buffer, sizeof buffer, 2s), kReceiveClosed);
    int result = 1;
    for (int i = 0; i < 100 && result == 1; ++i)
        result = connection.SendAll(std::string(4096, 'y'), 2s);
    EXPECT_EQ(result, -1);
}

TEST(Connect, AbortWakesABlockedReceive) {
    CFakeServer server({S("+OK\r\n")});
    CServerConnection connection;
    ASSERT_EQ(connection.Connect(server.Port(), "127.0.0.1", 2s), 1);
    char buffer[64];
    ASSERT_EQ(connection.ReceiveSome(buffer, sizeof buffer, 2s), 5);
    int result = 0;
    std::thread receiver([&] { result = connection.ReceiveSome(buffer, sizeof buffer, 60s); });
    connection.Abort();
    receiver.join();
    EXPECT_LE(result, 0);
    EXPECT_NE(result, kReceiveTimedOut);
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
