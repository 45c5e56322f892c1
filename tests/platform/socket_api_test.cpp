// The socket calls' promises the library builds on: readiness of any handle, time-out expiry
// read as a time-out, and no SIGPIPE.
#include "net/bind_listen.h"
#include "net/options.h"
#include "platform/socket_api.h"
#include "platform/socket_errors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(Readiness, WorksForHandlesAbove1024AndRefusesInvalidOnes) {
    const int32_t s = udp_create(AF_INET);
    const int high = dup2(s, 1500);
    ASSERT_EQ(high, 1500);
    timeval zero{0, 0};
    plat::Readiness ready;
    EXPECT_EQ(plat::select_one(high, {true, true, false}, &zero, &ready), 1); // writable only
    EXPECT_TRUE(ready.write);
    EXPECT_FALSE(ready.read);
    close(high);
    EXPECT_EQ(plat::select_one(high, {true, false, false}, &zero), -1);
    EXPECT_EQ(plat::last_socket_error(), 10009);
    EXPECT_EQ(plat::select_one(-1, {true, false, false}, &zero), -1);
    EXPECT_EQ(plat::last_socket_error(), 10009);
    sock_close(s);
}

TEST(Transfers, ExpiredReceiveTimeoutIsATimeOutWouldBlockOtherwise) {
    const int32_t s = udp_create(AF_INET);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(udp_bind(s, reinterpret_cast<sockaddr*>(&a)), 0);
    const timeval limit{0, 20000};
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    char buf[16];
    EXPECT_EQ(plat::recv(s, buf, sizeof buf, 0), -1);
    EXPECT_EQ(errno, EAGAIN); // callers that retry still see the POSIX value
    EXPECT_EQ(plat::last_socket_error(), 10060);
    sock_setopt(s, SOCKOPT_NONBLOCKING, 0);
    EXPECT_EQ(plat::recv(s, buf, sizeof buf, 0), -1);
    EXPECT_EQ(plat::last_socket_error(), 10035);
    EXPECT_EQ(plat::recv(s, buf, -1, 0), -1); // a negative count is refused, not read as 0
    EXPECT_EQ(plat::last_socket_error(), 10022);
    sock_close(s);
}

TEST(Transfers, BrokenPipeComesBackAsEpipeWithoutASignal) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    close(pair[1]);
    // Without MSG_NOSIGNAL the default SIGPIPE action would end the test program here.
    EXPECT_EQ(plat::send(pair[0], "x", 1, 0), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(plat::last_socket_error(), 32);
    close(pair[0]);
}

} // namespace

namespace {

int receive_buffer_held(int sock) {
    int value = 0;
    socklen_t len = sizeof value;
    getsockopt(sock, SOL_SOCKET, SO_RCVBUF, &value, &len);
    return value / 2; // the kernel reports its bookkeeping beside what was asked
}

// Growing the buffer beyond the users' limit works for root (the suite's user) and never
// shrinks a larger buffer; a buffer that cannot be grown is a failure, not silence.
TEST(ReceiveBuffer, GrowsPastTheUsersLimitAndNeverShrinks) {
    const int32_t s = udp_create(AF_INET);
    const int before = receive_buffer_held(s);
    const int wanted = 4 * before;
    const int r = plat::grow_receive_buffer(s, wanted);
    if (geteuid() == 0) {
        EXPECT_EQ(r, 0);
        EXPECT_GE(receive_buffer_held(s), wanted);
    } else {
        EXPECT_EQ(r == 0, receive_buffer_held(s) >= wanted);
    }
    const int grown = receive_buffer_held(s);
    EXPECT_EQ(plat::grow_receive_buffer(s, before / 2), 0);
    EXPECT_EQ(receive_buffer_held(s), grown);
    sock_close(s);
}

} // namespace
