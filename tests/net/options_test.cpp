// Option codes: the table of platform options, lingering, the mode codes and unknown codes.
#include "net/bind_listen.h"
#include "net/options.h"
#include "net/sock_clock.h"
#include "net/sock_errtext.h"
#include "net/sock_timeval.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Options : public ::testing::Test {
  protected:
    void SetUp() override {
        udp = udp_create(AF_INET);
        tcp = tcp_create(AF_INET);
        ASSERT_GT(udp, 0);
        ASSERT_GT(tcp, 0);
    }
    void TearDown() override {
        sock_close(udp);
        sock_close(tcp);
    }
    int32_t udp = -1, tcp = -1;
};

TEST_F(Options, IntegerOptionsWriteAndReadBack) {
    struct Case {
        const char* name;
        bool on_tcp;
        int option;
        int32_t value;
    };
    const Case cases[] = {
        {"nodelay", true, SOCKOPT_NODELAY, 1},      {"broadcast", false, SOCKOPT_BROADCAST, 1},
        {"reuseaddr", false, SOCKOPT_REUSEADDR, 1}, {"reuseport", false, SOCKOPT_REUSEPORT, 1},
        {"pktinfo", false, SOCKOPT_PKTINFO, 1},     {"timestampns", false, SOCKOPT_TIMESTAMPNS, 1}};
    for (const auto& c : cases) {
        const int32_t s = c.on_tcp ? tcp : udp;
        int32_t v = 0;
        EXPECT_EQ(sock_setopt(s, c.option, c.value), 0) << c.name;
        EXPECT_EQ(sock_getopt(s, c.option, &v), 0) << c.name;
        EXPECT_EQ(v != 0, c.value != 0) << c.name;
        EXPECT_EQ(sock_setopt(s, c.option, 0), 0) << c.name;
        EXPECT_EQ(sock_getopt(s, c.option, &v), 0) << c.name;
        EXPECT_EQ(v, 0) << c.name;
    }
    // The kernel may round buffer sizes; it never shrinks below what was asked.
    for (int option : {SOCKOPT_SNDBUF, SOCKOPT_RCVBUF}) {
        int32_t v = 0;
        EXPECT_EQ(sock_setopt(udp, option, 65536), 0);
        EXPECT_EQ(sock_getopt(udp, option, &v), 0);
        EXPECT_GE(v, 65536);
    }
}

TEST_F(Options, LingerIsAlwaysSwitchedOnWithTheGivenSeconds) {
    int32_t v = 99;
    EXPECT_EQ(sock_getopt(tcp, SOCKOPT_LINGER, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(sock_setopt(tcp, SOCKOPT_LINGER, 300), 0);
    EXPECT_EQ(sock_getopt(tcp, SOCKOPT_LINGER, &v), 0);
    EXPECT_EQ(v, 1);
    linger lg{};
    socklen_t len = sizeof lg;
    ASSERT_EQ(getsockopt(tcp, SOL_SOCKET, SO_LINGER, &lg, &len), 0);
    EXPECT_EQ(lg.l_onoff, 1);
    EXPECT_EQ(lg.l_linger, 300);
    EXPECT_EQ(sock_setopt(tcp, SOCKOPT_LINGER, 0), 0); // value 0 still switches it on
    EXPECT_EQ(sock_getopt(tcp, SOCKOPT_LINGER, &v), 0);
    EXPECT_EQ(v, 1);
}

TEST_F(Options, ModeCodesSwitchBlockingWhetherReadOrWritten) {
    auto nonblocking = [&] { return (fcntl(udp, F_GETFL) & O_NONBLOCK) != 0; };
    int32_t v = 0;
    EXPECT_EQ(sock_getopt(udp, SOCKOPT_NONBLOCKING, &v), 1);
    EXPECT_TRUE(nonblocking());
    EXPECT_EQ(sock_getopt(udp, SOCKOPT_BLOCKING, &v), 1);
    EXPECT_FALSE(nonblocking());
    EXPECT_EQ(sock_setopt(udp, SOCKOPT_NONBLOCKING, 0), 1);
    EXPECT_TRUE(nonblocking());
    EXPECT_EQ(sock_setopt(udp, SOCKOPT_BLOCKING, 0), 1);
    EXPECT_FALSE(nonblocking());
}

TEST_F(Options, ReadOnlyAndUnknownCodesDoNothing) {
    int32_t v = 12345;
    EXPECT_EQ(sock_getopt(udp, 5, &v), 1);
    EXPECT_EQ(v, 12345);
    EXPECT_EQ(sock_setopt(udp, 5, 1), 1);
    EXPECT_EQ(sock_setopt(udp, SOCKOPT_ERROR, 7), 1);
    EXPECT_EQ(sock_setopt(udp, SOCKOPT_TYPE, SOCK_STREAM), 1);
    EXPECT_EQ(sock_getopt(udp, SOCKOPT_ERROR, &v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(sock_getopt(udp, SOCKOPT_TYPE, &v), 0);
    EXPECT_EQ(v, SOCK_DGRAM);
}

TEST(OptionFailures, MapWithTheOptionSet) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    struct Case {
        int32_t handle;
        int option;
        int result;
    };
    const Case cases[] = {
        {-1, SOCKOPT_REUSEADDR, -10009},     // bad handle
        {fds[0], SOCKOPT_REUSEADDR, -10038}, // not a socket
        {fds[0], SOCKOPT_LINGER, -10038},
    };
    for (const auto& c : cases) {
        int32_t v = 0;
        errno = 0;
        EXPECT_EQ(sock_getopt(c.handle, c.option, &v), c.result);
        EXPECT_EQ(errno, -c.result);
        EXPECT_EQ(sock_setopt(c.handle, c.option, 1), c.result);
    }
    // FIONBIO works on any descriptor; a closed one is a bad handle.
    EXPECT_EQ(sock_setopt(-1, SOCKOPT_NONBLOCKING, 0), -10009);
    close(fds[0]);
    close(fds[1]);
}

TEST(TimeLimit, ConvertsSecondsTruncatingBothParts) {
    struct Case {
        double timeout;
        long sec, usec;
    };
    const Case cases[] = {{2.75, 2, 750000}, {0, 0, 0}, {2.5, 2, 500000}, {0.1, 0, 100000},
                          {1e-7, 0, 0},      {7, 7, 0}, {0.000001, 0, 1}, {1e300, 1000000000, 0},
                          {NAN, 0, 0}};
    for (const auto& c : cases) {
        const timeval tv = sock_timeval(c.timeout);
        EXPECT_EQ(tv.tv_sec, c.sec) << c.timeout;
        EXPECT_EQ(tv.tv_usec, c.usec) << c.timeout;
    }
}

TEST(Clock, WholeSecondsOfTheCalendarTime) {
    const double now = sock_clock();
    EXPECT_EQ(now, static_cast<double>(static_cast<long long>(now)));
    EXPECT_NEAR(now, static_cast<double>(time(nullptr)), 2.0);
}

TEST(ErrorText, WideTextOwnedByTheCaller) {
    struct Case {
        int code;
        const wchar_t* text;
    };
    const Case cases[] = {{10061, L"Connection refused"},
                          {10060, L"Connection timed out"},
                          {10035, L"Resource temporarily unavailable"},
                          {13, L"Permission denied"}};
    for (const auto& c : cases) {
        wchar_t* text = nullptr;
        EXPECT_EQ(sock_errtext(c.code, &text, 0), &text);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.text);
        sock_errtext_free(text);
    }
    wchar_t* big = nullptr;
    sock_errtext(10048, &big, 512);
    ASSERT_NE(big, nullptr);
    big[511] = L'x'; // at least the asked-for size is the caller's to use
    sock_errtext_free(big);
}

} // namespace
