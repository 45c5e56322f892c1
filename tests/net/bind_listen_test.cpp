// Family query, bind, listen, accept and close on real sockets.
#include "net/bind_listen.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t bound_port(int32_t sock) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

sockaddr_un local_address(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    return a;
}

const sockaddr* as_addr(const void* a) {
    return static_cast<const sockaddr*>(a);
}

TEST(Family, OfANonSocketIsTheDefaultFailure) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    errno = 0;
    EXPECT_EQ(sock_family(fds[0]), SOCKERR_FAIL); // 10038 is outside its set
    EXPECT_EQ(errno, 10038);
    EXPECT_EQ(sock_family(-1), -10009);
    // bind falls back to the 16-byte length and then reports the real fault
    const sockaddr_in a = loopback(0);
    EXPECT_EQ(sock_bind(fds[0], as_addr(&a)), -10038);
    close(fds[0]);
    close(fds[1]);
}

TEST(Bind, ReportsAddressInUseAndUnlistedFailures) {
    const int32_t first = udp_create(AF_INET);
    const sockaddr_in any_port = loopback(0);
    ASSERT_EQ(udp_bind(first, as_addr(&any_port)), 0);
    const sockaddr_in taken = loopback(bound_port(first));

    const int32_t second = udp_create(AF_INET);
    errno = 0;
    EXPECT_EQ(udp_bind(second, as_addr(&taken)), -10048);
    EXPECT_EQ(errno, 10048);
    // A bad address pointer (EFAULT) is not in the bind set.
    EXPECT_EQ(sock_bind(second, nullptr), SOCKERR_BIND);
    EXPECT_EQ(errno, 10014);
    sock_close(first);
    sock_close(second);
}

TEST(Bind, Ipv6SocketUsesTheIpv6Length) {
    const int32_t s = udp_create(AF_INET6);
    ASSERT_GT(s, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    EXPECT_EQ(udp_bind(s, as_addr(&a)), 0); // a 16-byte length would be refused
    EXPECT_EQ(sock_family(s), AF_INET6);
    sock_close(s);
}

TEST(LocalBind, RemovesAStalePathFirst) {
    char dir[] = "/tmp/rebound-unix-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/sock";
    const sockaddr_un addr = local_address(path);

    const int32_t old = unix_create(AF_UNIX);
    ASSERT_EQ(unix_bind(old, as_addr(&addr)), 0);
    sock_close(old); // the file stays behind
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);

    const int32_t plain = unix_create(AF_UNIX);
    EXPECT_EQ(sock_bind(plain, as_addr(&addr)), -10048);
    sock_close(plain);

    const int32_t fresh = unix_create(AF_UNIX);
    EXPECT_EQ(unix_bind(fresh, as_addr(&addr)), 0);
    EXPECT_EQ(sock_family(fresh), AF_UNIX);
    EXPECT_EQ(unix_listen(fresh, 1), 0);
    sock_close(fresh);
    unlink(path.c_str());
    rmdir(dir);
}

TEST(ListenAccept, AcceptsAConnectionAndReportsItsPeer) {
    const int32_t server = tcp_create(AF_INET);
    const sockaddr_in any_port = loopback(0);
    ASSERT_EQ(tcp_bind(server, as_addr(&any_port)), 0);
    ASSERT_EQ(tcp_listen(server, 4), 0);
    const sockaddr_in target = loopback(bound_port(server));

    const int client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&target), sizeof target), 0);
    sockaddr_in peer{};
    const int32_t conn = tcp_accept(server, reinterpret_cast<sockaddr*>(&peer));
    ASSERT_GT(conn, 0);
    EXPECT_EQ(peer.sin_family, AF_INET);
    EXPECT_EQ(ntohl(peer.sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_EQ(ntohs(peer.sin_port), bound_port(client));
    close(client);
    sock_close(conn);
    sock_close(server);
}

TEST(ListenAccept, FailuresMapWithTheirOwnSets) {
    const int32_t udp = udp_create(AF_INET);
    EXPECT_EQ(sock_listen(udp, 1), -10045); // datagram sockets do not listen
    sockaddr_in peer{};
    // 10045 is outside the accept set
    EXPECT_EQ(sock_accept(udp, reinterpret_cast<sockaddr*>(&peer)), SOCKERR_ACCEPT);
    const int32_t idle = tcp_create(AF_INET);
    EXPECT_EQ(tcp_accept(idle, reinterpret_cast<sockaddr*>(&peer)), -10022); // not listening
    EXPECT_EQ(sock_listen(-1, 1), -10009);
    sock_close(udp);
    sock_close(idle);
}

} // namespace
