// Stream transfers against real peers: the accepted end of a loopback TCP connection and the
// far end of a local (path) socket connection.
#include "net/socket.h"
#include "net/transfer.h"
#include "platform/socket_api.h"
#include "tests/support/full_send_path.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using testsupport::StreamPair;
using testsupport::tcp_pair;
using testsupport::write_all;

using SendFn = int32_t (*)(int32_t, const void*, int, double);
using RecvFn = int32_t (*)(int32_t, void*, int, double);

struct NamedSend {
    const char* name;
    SendFn fn;
};
struct NamedRecv {
    const char* name;
    RecvFn fn;
};

constexpr NamedSend kSends[] = {{"tcp_send", tcp_send},
                                {"tcp_write", tcp_write},
                                {"unix_send", unix_send},
                                {"tcp_send_nowait", tcp_send_nowait}};
constexpr NamedRecv kRecvs[] = {{"tcp_recv", tcp_recv},
                                {"unix_recv", unix_recv},
                                {"tcp_recv_some", tcp_recv_some},
                                {"tcp_recv_nowait", tcp_recv_nowait}};

std::string text_of(const std::vector<char>& buf, size_t n) {
    return std::string(buf.data(), n);
}

TEST(StreamTransfer, HandleMinusOneIsRefusedWithoutAPlatformCall) {
    char buf[8] = "kept";
    for (const auto& s : kSends) {
        errno = 4242;
        EXPECT_EQ(s.fn(-1, "abc", 3, 1.0), -10038) << s.name;
        EXPECT_EQ(errno, 4242) << s.name;
    }
    for (const auto& r : kRecvs) {
        errno = 4242;
        EXPECT_EQ(r.fn(-1, buf, sizeof buf, 1.0), -10038) << r.name;
        EXPECT_EQ(errno, 4242) << r.name;
        EXPECT_STREQ(buf, "kept") << r.name; // checked before the buffer is cleared
    }
    EXPECT_EQ(tcp_reserved_send_a(-1), -10038);
    EXPECT_EQ(tcp_reserved_send_b(-1), -10038);
    EXPECT_EQ(tcp_reserved_recv_a(-1, buf, sizeof buf), -10038);
    EXPECT_EQ(tcp_reserved_recv_b(-1, buf, sizeof buf), -10038);
    EXPECT_EQ(tcp_reserved_recv_c(-1, buf, sizeof buf), -10038);
    EXPECT_STREQ(buf, "kept");
}

TEST(StreamTransfer, ReservedEntryPointsMoveNothing) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, "waiting"));
    EXPECT_EQ(tcp_reserved_send_a(pair.near), SOCKERR_FAIL);
    EXPECT_EQ(tcp_reserved_send_b(pair.near), SOCKERR_FAIL);
    using Reserved = int32_t (*)(int32_t, void*, int);
    for (Reserved fn : {tcp_reserved_recv_a, tcp_reserved_recv_b, tcp_reserved_recv_c}) {
        char buf[8] = "full";
        EXPECT_EQ(fn(pair.near, buf, 3), SOCKERR_FAIL);
        EXPECT_EQ(std::string(buf, 5), std::string("\0\0\0l\0", 5));
    }
    EXPECT_EQ(testsupport::peek_available(pair.near), "waiting");
    EXPECT_EQ(testsupport::peek_available(pair.far), "");
}

TEST(StreamTransfer, WholeBufferCrossesInBothDirections) {
    StreamPair pair = tcp_pair();
    std::string big(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 251);

    std::string arrived;
    std::thread drain([&] {
        std::vector<char> chunk(65536);
        while (arrived.size() < big.size()) {
            const ssize_t n = ::recv(pair.far, chunk.data(), chunk.size(), 0);
            if (n <= 0) break;
            arrived.append(chunk.data(), static_cast<size_t>(n));
        }
        write_all(pair.far, arrived.substr(0, 100000));
    });
    EXPECT_EQ(tcp_send(pair.near, big.data(), int(big.size()), 30.0), int(big.size()));
    std::vector<char> back(100000);
    EXPECT_EQ(tcp_recv(pair.near, back.data(), int(back.size()), 30.0), 100000);
    drain.join();
    EXPECT_TRUE(arrived == big);
    EXPECT_EQ(text_of(back, back.size()), big.substr(0, 100000));
}

TEST(StreamTransfer, PeerThatClosesEndsTheReceiveWithWhatCame) {
    for (const auto& r : kRecvs) {
        StreamPair pair = tcp_pair();
        ASSERT_TRUE(write_all(pair.far, std::string(60, 'p')));
        pair.close_far();
        std::vector<char> buf(100, '#');
        EXPECT_EQ(r.fn(pair.near, buf.data(), 100, 5.0), 60) << r.name;
        EXPECT_EQ(text_of(buf, 100), std::string(60, 'p') + std::string(40, '\0')) << r.name;
    }
}

TEST(StreamTransfer, SilenceAfterPartOfTheDataRunsOutWithTheBytesKept) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, std::string(60, 's')));
    std::vector<char> buf(100, '#');
    // One second: the whole-second clock cannot pass it between the first receive and the
    // next wait, so it is the wait that runs out.
    EXPECT_EQ(tcp_recv(pair.near, buf.data(), 100, 1.0), -10060);
    EXPECT_EQ(text_of(buf, 100), std::string(60, 's') + std::string(40, '\0'));
}

// Returns when `fraction` of a calendar second has passed since that second began; the
// result is that second. The whole-second clock the transfers measure their overall limit with
// reads 0 elapsed until the next second begins.
time_t late_in_a_second(double fraction) {
    const time_t now = std::time(nullptr);
    while (std::time(nullptr) == now)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const time_t second = now + 1;
    const auto late = std::chrono::system_clock::from_time_t(second) +
                      std::chrono::duration_cast<std::chrono::system_clock::duration>(
                          std::chrono::duration<double>(fraction));
    std::this_thread::sleep_until(late);
    return second;
}

TEST(StreamTransfer, RequestCompletedAfterTheLimitIsReportedAsDone) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, std::string(50, 'a')));
    // The call starts late in a second with half the data waiting; the other half is sent as
    // soon as the next second begins. The receive that takes it (bounded by the receive
    // time-out of 0.99 s) ends with one whole second elapsed, beyond the limit. The bytes are
    // consumed, so they must be reported, not a time-out.
    const time_t second = late_in_a_second(0.9);
    std::thread next([&] {
        while (std::time(nullptr) == second)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        write_all(pair.far, std::string(50, 'b'));
    });
    std::vector<char> buf(100);
    EXPECT_EQ(tcp_recv_nowait(pair.near, buf.data(), 100, 0.99), 100);
    next.join();
    EXPECT_EQ(text_of(buf, 100), std::string(50, 'a') + std::string(50, 'b'));
}

// Shuts the socket down unless disarmed within a generous time, so a call that the time-out
// option fails to bound ends (with a result the test rejects) instead of hanging the suite.
class Watchdog {
  public:
    explicit Watchdog(int fd)
        : thread_([this, fd] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(20), [this] { return disarmed_; }))
                  ::shutdown(fd, SHUT_RDWR);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            disarmed_ = true;
        }
        done_.notify_one();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool disarmed_ = false;
    std::thread thread_;
};

TEST(StreamTransfer, LimitsTooSmallForTheOptionStillBoundTheMembersWithoutWaits) {
    // To the kernel a zero time-out option means no limit: each of these limits converts to a
    // zero (or negative) timeval and must bound the call like any other short limit.
    const testsupport::TempDir dir;
    for (double limit : {0.0, 1e-7, -0.5, -1.0, -1e12}) {
        SCOPED_TRACE(limit);
        StreamPair pair = testsupport::local_pair(dir.path()); // stays full once filled
        char buf[8];
        {
            Watchdog guard(pair.near);
            EXPECT_EQ(tcp_recv_nowait(pair.near, buf, sizeof buf, limit), -10060);
        }
        testsupport::fill_send_path(pair.near);
        {
            Watchdog guard(pair.near);
            errno = 0;
            EXPECT_EQ(tcp_send_nowait(pair.near, "more", 4, limit), SOCKERR_FAIL);
            EXPECT_EQ(errno, 10060);
        }
    }
}

TEST(StreamTransfer, ReceiveSomeEndsAfterTheFirstData) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, std::string(60, 'x')));
    std::vector<char> buf(100);
    EXPECT_EQ(tcp_recv_some(pair.near, buf.data(), 100, 5.0), 60);
}

TEST(StreamTransfer, ReceiveLeavesBytesBeyondItsLength) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, "0123456789"));
    std::vector<char> buf(4);
    EXPECT_EQ(tcp_recv(pair.near, buf.data(), 4, 5.0), 4);
    EXPECT_EQ(text_of(buf, 4), "0123");
    EXPECT_EQ(testsupport::peek_available(pair.near), "456789");
}

TEST(StreamTransfer, EmptyRequests) {
    const testsupport::TempDir dir;
    StreamPair pair = testsupport::local_pair(dir.path()); // stays full once filled
    char buf[4];
    // Sends give 0 without waiting: a wait on this full socket would run out instead.
    testsupport::fill_send_path(pair.near);
    for (const auto& s : kSends)
        EXPECT_EQ(s.fn(pair.near, "x", 0, 5.0), 0) << s.name;
    EXPECT_EQ(tcp_send(pair.near, "x", -5, 5.0), 0);
    // The waiting receives wait first: an idle socket runs out, a readable one gives 0.
    for (RecvFn fn : {tcp_recv, unix_recv, tcp_recv_some})
        EXPECT_EQ(fn(pair.near, buf, 0, 0.2), -10060);
    EXPECT_EQ(tcp_recv_nowait(pair.near, buf, 0, 0.2), 0);
    ASSERT_TRUE(write_all(pair.far, "data"));
    for (RecvFn fn : {tcp_recv, unix_recv, tcp_recv_some, tcp_recv_nowait})
        EXPECT_EQ(fn(pair.near, buf, 0, 5.0), 0);
    EXPECT_EQ(tcp_recv(pair.near, buf, -1, 5.0), 0);
    EXPECT_EQ(testsupport::peek_available(pair.near), "data");
}

TEST(StreamTransfer, MembersWithoutWaitsRunIntoTheTimeOutOption) {
    const testsupport::TempDir dir;
    StreamPair pair = testsupport::local_pair(dir.path()); // stays full once filled
    char buf[8];
    errno = 0;
    EXPECT_EQ(tcp_recv_nowait(pair.near, buf, sizeof buf, 0.3), -10060);
    EXPECT_EQ(errno, 10060);

    testsupport::fill_send_path(pair.near);
    // 10060 is not a code the sends report: it is a plain failure, with the code in errno.
    EXPECT_EQ(tcp_send_nowait(pair.near, "more", 4, 0.3), SOCKERR_FAIL);
    EXPECT_EQ(errno, 10060);
    // The waiting send runs out in its wait instead.
    EXPECT_EQ(tcp_send(pair.near, "more", 4, 0.3), -10060);

    // The option stays on the socket.
    timeval tv{};
    socklen_t len = sizeof tv;
    ASSERT_EQ(::getsockopt(pair.near, SOL_SOCKET, SO_RCVTIMEO, &tv, &len), 0);
    EXPECT_EQ(tv.tv_sec, 0);
    EXPECT_NEAR(double(tv.tv_usec), 300000.0, 4000.0); // the kernel keeps it in jiffies
}

TEST(StreamTransfer, ResetAndShutDownConnections) {
    {
        StreamPair pair = tcp_pair();
        pair.reset_far();
        ASSERT_EQ(plat::select_one(pair.near, {true, false, false}, nullptr), 1);
        errno = 0;
        EXPECT_EQ(tcp_send(pair.near, "x", 1, 5.0), -10054);
        EXPECT_EQ(errno, 10054);
        // Once the reset is reported the connection is shut: EPIPE, reported as -10058.
        EXPECT_EQ(tcp_send(pair.near, "x", 1, 5.0), -10058);
        EXPECT_EQ(errno, EPIPE);
    }
    {
        StreamPair pair = tcp_pair();
        pair.reset_far();
        char buf[8];
        EXPECT_EQ(tcp_recv(pair.near, buf, sizeof buf, 5.0), -10054);
        EXPECT_EQ(errno, 10054);
    }
    struct Case {
        const char* name;
        SendFn fn;
        bool local;
        int32_t expected;
    };
    const Case cases[] = {{"tcp_send", tcp_send, false, -10058},
                          {"tcp_send_nowait", tcp_send_nowait, false, -10058},
                          {"unix_send", unix_send, true, SOCKERR_FAIL}};
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        StreamPair pair = c.local ? testsupport::local_pair(dir.path()) : tcp_pair();
        ASSERT_GE(pair.far, 0);
        ::shutdown(pair.near, SHUT_WR);
        errno = 0;
        EXPECT_EQ(c.fn(pair.near, "x", 1, 5.0), c.expected) << c.name;
        EXPECT_EQ(errno, EPIPE) << c.name;
    }
}

TEST(StreamTransfer, LocalSocketsCarryBothWays) {
    testsupport::TempDir dir;
    StreamPair pair = testsupport::local_pair(dir.path());
    ASSERT_GE(pair.far, 0);
    const std::string msg(200000, 'L');
    std::string arrived;
    std::thread echo([&] {
        std::vector<char> chunk(65536);
        while (arrived.size() < msg.size()) {
            const ssize_t n = ::recv(pair.far, chunk.data(), chunk.size(), 0);
            if (n <= 0) break;
            arrived.append(chunk.data(), static_cast<size_t>(n));
        }
        write_all(pair.far, "done");
    });
    EXPECT_EQ(unix_send(pair.near, msg.data(), int(msg.size()), 10.0), int(msg.size()));
    char buf[8] = {};
    EXPECT_EQ(unix_recv(pair.near, buf, 4, 10.0), 4);
    echo.join();
    EXPECT_STREQ(buf, "done");
    EXPECT_EQ(arrived.size(), msg.size());
}

} // namespace
