// Socket creation: the result convention, the accepted-set mapping and the service start-ups.
#include "net/bind_listen.h"
#include "net/options.h"
#include "net/socket.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct StartupFailure {
    StartupFailure() { plat::fail_startup_for_test(true); }
    ~StartupFailure() { plat::fail_startup_for_test(false); }
};

TEST(SockCreate, MapsFailuresThroughItsAcceptedSet) {
    struct Case {
        int family, type, protocol;
        int result, err;
    };
    const Case cases[] = {
        // EPROTONOSUPPORT is accepted: its 10xxx code comes back negated.
        {AF_INET, SOCK_DGRAM, IPPROTO_TCP, -10043, 10043},
        // EAFNOSUPPORT is not in the set: the default code, with the real code in errno.
        {12345, SOCK_DGRAM, 0, SOCKERR_FAIL, 10047},
    };
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(sock_create(c.family, c.type, c.protocol), c.result) << c.family;
        EXPECT_EQ(errno, c.err);
    }
}

TEST(SockCreate, TooManyOpenFilesIsReportedAsRuntimeNumber) {
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int probe = dup(0);
    ASSERT_GE(probe, 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(probe); // no descriptor above the ones in use
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    close(probe);
    const int spare = dup(0); // takes the last free slot
    errno = 0;
    const int r = sock_create(AF_INET, SOCK_DGRAM, 0);
    const int err = errno;
    if (spare >= 0) close(spare);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(r, -EMFILE);
    EXPECT_EQ(err, EMFILE);
}

TEST(FamilyCreate, CreatesSocketsOfTheFamilysKind) {
    struct Case {
        const char* name;
        int32_t (*create)(int);
        int family, type;
    };
    const Case cases[] = {{"unix", unix_create, AF_UNIX, SOCK_STREAM},
                          {"tcp", tcp_create, AF_INET, SOCK_STREAM},
                          {"tcp nodelay", tcp_create_nodelay, AF_INET, SOCK_STREAM},
                          {"udp", udp_create, AF_INET, SOCK_DGRAM},
                          {"udp6", udp_create, AF_INET6, SOCK_DGRAM}};
    for (const auto& c : cases) {
        const int32_t s = c.create(c.family);
        ASSERT_GT(s, 0) << c.name;
        int32_t type = 0;
        EXPECT_EQ(sock_getopt(s, SOCKOPT_TYPE, &type), 0) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(sock_family(s), c.family) << c.name;
        EXPECT_EQ(sock_close(s), 0);
    }
    const int32_t s = tcp_create_nodelay(AF_INET);
    int32_t nodelay = 0;
    EXPECT_EQ(sock_getopt(s, SOCKOPT_NODELAY, &nodelay), 0);
    EXPECT_NE(nodelay, 0);
    sock_close(s);
}

TEST(FamilyCreate, TcpCreateReportsPlainFailureAndLeavesErrno) {
    errno = 77;
    EXPECT_EQ(tcp_create(12345), SOCKERR_FAIL);
    EXPECT_EQ(errno, 77);
}

TEST(ServiceStartup, FailedStartupCreatesNothing) {
    EXPECT_EQ(sock_startup(), 1);
    sock_cleanup();
    const int before = plat::service_count();
    StartupFailure failing;
    EXPECT_EQ(sock_startup(), SOCKERR_STARTUP);
    errno = 55;
    for (auto create : {udp_create, unix_create, tcp_create, tcp_create_nodelay})
        EXPECT_EQ(create(AF_INET), SOCKERR_FAIL);
    EXPECT_EQ(sock_create(AF_INET, SOCK_DGRAM, 0), SOCKERR_FAIL);
    EXPECT_EQ(errno, 55);
    EXPECT_EQ(plat::service_count(), before);
}

TEST(ServiceStartup, CreationsStartAndCloseCleansUpOnce) {
    const int before = plat::service_count();
    const int32_t udp = udp_create(AF_INET); // starts twice: itself and sock_create
    EXPECT_EQ(plat::service_count(), before + 2);
    const int32_t tcp = tcp_create(AF_INET); // starts once
    EXPECT_EQ(plat::service_count(), before + 3);
    EXPECT_EQ(sock_close(udp), 0);
    EXPECT_EQ(sock_close(tcp), 0);
    EXPECT_EQ(plat::service_count(), before + 1);
    EXPECT_EQ(sock_close(0), SOCKERR_FAIL); // no socket: no clean-up either
    EXPECT_EQ(plat::service_count(), before + 1);
    EXPECT_EQ(sock_cleanup(), 1);
}

} // namespace
