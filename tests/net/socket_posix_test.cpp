// The socket seam over BSD sockets, on this machine's loopback: a test for
// input reads what is pending, and the reads after it must hand over exactly
// what a read without it would have.
#include "net/socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const uint32_t localhost = htonl(INADDR_LOOPBACK);

uint16_t port_of(SocketHandle s) {
    sockaddr_in sa{};
    socklen_t sl = sizeof sa;
    getsockname(int(s), reinterpret_cast<sockaddr*>(&sa), &sl);
    return ntohs(sa.sin_port);
}

SocketHandle bound_datagram() {
    SocketHandle s = net_open(SocketKind::datagram);
    EXPECT_TRUE(net_bind(s, localhost, 0));
    return s;
}

TEST(PosixSockets, DatagramsComeWholeInOrderAfterATestForInput) {
    SocketHandle a = bound_datagram(), b = bound_datagram();
    EXPECT_EQ(net_input_ready(b), 0);
    std::string big(600, 'x');
    big[511] = 'y';
    ASSERT_EQ(net_send_to(a, big.data(), big.size(), localhost, port_of(b)), 600);
    ASSERT_EQ(net_send_to(a, "", 0, localhost, port_of(b)), 0);
    ASSERT_EQ(net_send_to(a, "abc", 3, localhost, port_of(b)), 3);

    char buf[512];
    uint32_t from = 0;
    EXPECT_EQ(net_input_ready(b), 1);
    EXPECT_EQ(net_input_ready(b), 1);                            // looking again takes nothing
    EXPECT_EQ(net_receive_from(b, buf, sizeof buf, &from), 600); // its whole size, cut to fit
    EXPECT_EQ(std::string(buf, sizeof buf), big.substr(0, 512));
    EXPECT_EQ(from, localhost);
    EXPECT_EQ(net_input_ready(b), 1); // an empty datagram is input too
    EXPECT_EQ(net_receive_from(b, buf, sizeof buf, &from), 0);
    EXPECT_EQ(net_receive_from(b, buf, sizeof buf, &from), 3); // read without a test
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(net_input_ready(b), 0);

    // What was read ahead goes with its socket: a new one under the same
    // number finds nothing.
    ASSERT_EQ(net_send_to(a, "old", 3, localhost, port_of(b)), 3);
    EXPECT_EQ(net_input_ready(b), 1);
    SocketHandle number = b;
    net_close(b);
    SocketHandle c = bound_datagram();
    EXPECT_EQ(c, number);
    EXPECT_EQ(net_input_ready(c), 0);
    EXPECT_EQ(net_receive_from(c, buf, sizeof buf, &from), -1);
    net_close(a);
    net_close(c);
}

TEST(PosixSockets, StreamBytesAreHandedOverInPiecesUntilItsEnd) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = localhost;
    socklen_t sl = sizeof sa;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &sl);

    SocketHandle s = net_open(SocketKind::stream);
    ASSERT_TRUE(net_connect(s, localhost, ntohs(sa.sin_port)));
    int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(net_input_ready(s), 0);
    std::string sent;
    for (int i = 0; i < 1500; ++i) sent += char('a' + i % 26);
    ASSERT_EQ(send(peer, sent.data(), sent.size(), 0), 1500);

    std::string got;
    char buf[499];
    for (int i = 0; i < 100 && got.size() < sent.size(); ++i) {
        if (net_input_ready(s) != 1) {
            usleep(1000);
            continue;
        }
        long n = net_receive(s, buf, sizeof buf);
        ASSERT_GT(n, 0);
        EXPECT_LE(n, long(sizeof buf));
        got.append(buf, size_t(n));
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(net_input_ready(s), 0);

    close(peer);
    for (int i = 0; i < 100 && net_input_ready(s) == 0; ++i) usleep(1000);
    EXPECT_EQ(net_input_ready(s), 1); // the end of the stream can be read
    EXPECT_EQ(net_receive(s, buf, sizeof buf), 0);
    net_close(s);
    close(listener);
}

} // namespace
