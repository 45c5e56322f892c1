// Timed connects and readiness waits against real loopback listeners and local sockets.
#include "address/address_text.h"
#include "address/sockaddr.h"
#include "net/bind_listen.h"
#include "net/connect.h"
#include "tests/support/full_send_path.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::TcpListener;

using TimedConnect = int32_t (*)(int32_t, const sockaddr*, double);
struct Member {
    const char* name;
    TimedConnect fn;
};
constexpr Member kTcpMembers[] = {{"tcp_connect", tcp_connect},
                                  {"tcp_connect_nodelay", tcp_connect_nodelay},
                                  {"tcp_connect_fast", tcp_connect_fast}};

sockaddr_in loopback(int port) {
    return create_sockaddrin(AF_INET, "127.0.0.1", std::to_string(port).c_str());
}

const sockaddr* as_addr(const void* a) {
    return static_cast<const sockaddr*>(a);
}

bool nonblocking(int fd) {
    return (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
}

// A loopback port on which nothing listens: one that was just freed.
int refused_port() {
    TcpListener gone;
    return gone.port();
}

// A listener whose accept queue is full: the kernel drops further connection requests, so a
// connect to it stays under way until the caller gives up.
class FullListener {
  public:
    FullListener() : listener_(0) {
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = loopback(listener_.port());
        connected_ = ::connect(filler_, as_addr(&a), sizeof a) == 0;
    }
    ~FullListener() { ::close(filler_); }
    bool ready() const { return connected_; }
    int port() const { return listener_.port(); }

  private:
    TcpListener listener_;
    int filler_ = -1;
    bool connected_ = false;
};

// A library TCP socket, closed at the end of the scope.
struct TcpSocket {
    explicit TcpSocket(int family = AF_INET) : fd(tcp_create(family)) {}
    ~TcpSocket() {
        if (fd >= 0) tcp_close(fd);
    }
    int32_t fd;
};

TEST(TimedConnect, ConnectsAndLeavesTheSocketNonBlocking) {
    TcpListener listener;
    const sockaddr_in to = loopback(listener.port());
    for (const auto& m : kTcpMembers) {
        TcpSocket s;
        const int32_t r = m.fn(s.fd, as_addr(&to), 5.0);
        EXPECT_TRUE(r == 1 || r == 2) << m.name << " gave " << r;
        EXPECT_TRUE(nonblocking(s.fd)) << m.name;
        const int peer = listener.accept();
        EXPECT_GE(peer, 0) << m.name;
        ::close(peer);
    }
}

TEST(TimedConnect, NodelayAlsoSwitchesOnNoDelayAndOneSecondLinger) {
    TcpListener listener;
    const sockaddr_in to = loopback(listener.port());
    TcpSocket s;
    ASSERT_GT(tcp_connect_nodelay(s.fd, as_addr(&to), 5.0), 0);
    int nodelay = 0;
    socklen_t len = sizeof nodelay;
    ::getsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, &len);
    EXPECT_NE(nodelay, 0);
    linger lg{};
    len = sizeof lg;
    ::getsockopt(s.fd, SOL_SOCKET, SO_LINGER, &lg, &len);
    EXPECT_EQ(lg.l_onoff, 1);
    EXPECT_EQ(lg.l_linger, 1);
}

TEST(TimedConnect, RefusedPortIsThePendingError) {
    const sockaddr_in to = loopback(refused_port());
    for (TimedConnect fn : {tcp_connect, tcp_connect_nodelay}) {
        TcpSocket s;
        errno = 0;
        EXPECT_EQ(fn(s.fd, as_addr(&to), 5.0), -10061);
        EXPECT_EQ(errno, 10061);
    }
    // The fast member looks at readiness only, and a refused socket is ready.
    TcpSocket s;
    EXPECT_GT(tcp_connect_fast(s.fd, as_addr(&to), 5.0), 0);
}

TEST(TimedConnect, ConnectThatNeverCompletesRunsOut) {
    FullListener full;
    ASSERT_TRUE(full.ready());
    const sockaddr_in to = loopback(full.port());
    for (const auto& m : kTcpMembers) {
        for (double timeout : {0.0, 0.3}) { // 0 polls once
            TcpSocket s;
            EXPECT_EQ(m.fn(s.fd, as_addr(&to), timeout), -10060)
                << m.name << " timeout " << timeout;
            EXPECT_TRUE(nonblocking(s.fd)) << m.name;
        }
    }
}

TEST(TimedConnect, IPv6SocketPassesTheLongRecord) {
    TcpListener listener;
    TcpSocket s(AF_INET6);
    if (s.fd < 0) GTEST_SKIP() << "no IPv6 sockets on this machine";
    // 127.0.0.1 as an IPv4-mapped address: only the 28-byte record is accepted by this socket.
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(static_cast<uint16_t>(listener.port()));
    inet_pton(AF_INET6, "::ffff:127.0.0.1", &to.sin6_addr);
    EXPECT_GT(tcp_connect(s.fd, as_addr(&to), 5.0), 0);
}

TEST(TimedConnect, ImmediateFailures) {
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const sockaddr_in to = loopback(refused_port());
    errno = 0;
    // Reported by the connect call itself, before any wait.
    EXPECT_EQ(tcp_connect(pipe_fds[0], as_addr(&to), 5.0), -10038);
    EXPECT_EQ(errno, 10038);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);

    TcpSocket s;
    sockaddr_in foreign = to;
    foreign.sin_family = AF_UNIX; // an address this socket cannot use: 10047 is in the set
    EXPECT_EQ(tcp_connect(s.fd, as_addr(&foreign), 5.0), -10047);
    EXPECT_EQ(errno, 10047);
}

TEST(TimedConnect, LocalSockets) {
    testsupport::TempDir dir;
    const sockaddr_un addr = create_sockaddrun(AF_UNIX, (dir.path() + "/listener").c_str());

    const int32_t missing = unix_create(AF_UNIX);
    errno = 0;
    // Nothing at the path: the failure is reported, not the readiness of an idle socket.
    EXPECT_EQ(unix_connect(missing, as_addr(&addr), 5.0), SOCKERR_FAIL);
    EXPECT_EQ(errno, ENOENT);
    unix_close(missing);

    const int32_t listener = unix_create(AF_UNIX);
    ASSERT_EQ(unix_bind(listener, as_addr(&addr)), 0);
    const int32_t early = unix_create(AF_UNIX);
    EXPECT_EQ(unix_connect(early, as_addr(&addr), 5.0), -10061); // bound, not yet listening
    unix_close(early);

    ASSERT_EQ(unix_listen(listener, 4), 0);
    const int32_t client = unix_create(AF_UNIX);
    const int32_t r = unix_connect(client, as_addr(&addr), 5.0);
    EXPECT_TRUE(r == 1 || r == 2) << r;
    EXPECT_TRUE(nonblocking(client));
    sockaddr_un peer_addr{};
    const int32_t peer = unix_accept(listener, reinterpret_cast<sockaddr*>(&peer_addr));
    EXPECT_GE(peer, 0);
    unix_close(peer);
    unix_close(client);
    unix_close(listener);
}

TEST(TimedConnect, LocalListenerWithAFullQueueIsAFailureNotAConnection) {
    testsupport::TempDir dir;
    const sockaddr_un addr = create_sockaddrun(AF_UNIX, (dir.path() + "/busy").c_str());
    const int32_t listener = unix_create(AF_UNIX);
    ASSERT_EQ(unix_bind(listener, as_addr(&addr)), 0);
    ASSERT_EQ(unix_listen(listener, 0), 0);
    // Fill the queue with connections nobody accepts.
    std::vector<int32_t> waiting;
    int32_t r = 0;
    for (int i = 0; i < 8 && r >= 0; ++i) {
        waiting.push_back(unix_create(AF_UNIX));
        r = unix_connect(waiting.back(), as_addr(&addr), 1.0);
    }
    EXPECT_EQ(r, SOCKERR_FAIL); // once the queue is full: no connection is claimed
    EXPECT_EQ(errno, 10035);
    for (int32_t s : waiting)
        unix_close(s);
    unix_close(listener);
}

TEST(PlainConnect, ResultIsPassedOnUntouched) {
    TcpListener listener;
    const sockaddr_in open = loopback(listener.port());
    const sockaddr_in closed = loopback(refused_port());
    {
        TcpSocket s;
        EXPECT_EQ(tcp_connect_plain(s.fd, as_addr(&open)), 0);
        EXPECT_FALSE(nonblocking(s.fd));
    }
    {
        TcpSocket s;
        errno = 4242;
        EXPECT_EQ(tcp_connect_plain(s.fd, as_addr(&closed)), -1);
        EXPECT_EQ(errno, 4242);
        EXPECT_EQ(plat::last_socket_error(), 10061);
    }
    for (const sockaddr_in* to : {&open, &closed}) {
        TcpSocket s;
        EXPECT_EQ(tcp_reserved_connect(s.fd, as_addr(to)), SOCKERR_FAIL);
    }
}

TEST(ReadinessWait, IdleAndReadySockets) {
    // A local pair: its near end, once filled, stays not writable (testsupport::fill_send_path).
    const testsupport::TempDir dir;
    testsupport::StreamPair pair = testsupport::local_pair(dir.path());
    EXPECT_EQ(tcp_wait_writable(pair.near, 5.0), 0);
    EXPECT_EQ(tcp_wait_readable(pair.near, 0.2), -10060);
    EXPECT_EQ(tcp_wait_readable(pair.near, 0.0), -10060);
    ASSERT_TRUE(testsupport::write_all(pair.far, "ping"));
    EXPECT_EQ(tcp_wait_readable(pair.near, 5.0), 0);
    // A wait consumes nothing.
    EXPECT_EQ(testsupport::peek_available(pair.near), "ping");

    testsupport::fill_send_path(pair.near);
    EXPECT_EQ(tcp_wait_writable(pair.near, 0.2), -10060);

    EXPECT_EQ(tcp_wait_readable(-1, 1.0), SOCKERR_FAIL);
    EXPECT_EQ(tcp_wait_writable(-1, 1.0), SOCKERR_FAIL);
}

} // namespace
