// Line, header-block and chunk framing against a peer that writes exact bytes: the accepted
// end of a loopback TCP connection.
#include "net/framing.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::string_literals;
using testsupport::peek_available;
using testsupport::StreamPair;
using testsupport::tcp_pair;
using testsupport::write_all;

const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

std::string text_of(const std::vector<char>& buf) {
    return std::string(buf.begin(), buf.end());
}

// Everything the far end can read within a moment after the near end sent.
std::string drain(int fd, size_t expected) {
    std::string got;
    std::vector<char> chunk(65536);
    while (got.size() < expected) {
        const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n <= 0) break;
        got.append(chunk.data(), static_cast<size_t>(n));
    }
    return got;
}

TEST(LineReceive, TakesOneLineAndLeavesTheNext) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, "HELO\r\nNEXT"));
    std::vector<char> buf(64, '#');
    EXPECT_EQ(tcp_recv_line(pair.near, buf.data(), 64, 5.0), 6);
    EXPECT_EQ(text_of(buf), "HELO\r\n" + std::string(58, '\0'));
    EXPECT_EQ(peek_available(pair.near), "NEXT");
}

TEST(LineReceive, ZeroByteAheadOfTheLineFeedHidesIt) {
    StreamPair pair = tcp_pair();
    const std::string sent = "AB\0C\n"s;
    ASSERT_TRUE(write_all(pair.far, sent));
    char buf[64];
    EXPECT_EQ(tcp_recv_line(pair.near, buf, sizeof buf, 1.0), 0);
    EXPECT_EQ(peek_available(pair.near), sent);
}

double seconds_of(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

TEST(LineReceive, IncompleteLineWaitsWithoutTakingACore) {
    StreamPair pair = tcp_pair();
    ASSERT_TRUE(write_all(pair.far, "no line feed yet"));
    char buf[64];
    const double cpu_start = seconds_of(CLOCK_THREAD_CPUTIME_ID);
    const double wall_start = seconds_of(CLOCK_MONOTONIC);
    EXPECT_EQ(tcp_recv_line(pair.near, buf, sizeof buf, 1.0), 0);
    const double cpu = seconds_of(CLOCK_THREAD_CPUTIME_ID) - cpu_start;
    const double wall = seconds_of(CLOCK_MONOTONIC) - wall_start;
    EXPECT_EQ(peek_available(pair.near), "no line feed yet");
    // The call lasts until the whole-second clock passes the limit (1 to 2 s). Looking again
    // at once would burn that time on a core, however busy the machine; pausing between looks
    // costs a small share of it.
    EXPECT_LT(cpu, 0.1 * wall) << cpu << " s of processor time in " << wall << " s";
}

TEST(LineReceive, EndsWithoutALine) {
    char buf[16];
    StreamPair idle = tcp_pair();
    EXPECT_EQ(tcp_recv_line(idle.near, buf, sizeof buf, 0.2), -10060);
    EXPECT_EQ(tcp_recv_header(idle.near, buf, sizeof buf, 0.2), -10060);

    StreamPair closed = tcp_pair();
    closed.close_far();
    EXPECT_EQ(tcp_recv_line(closed.near, buf, sizeof buf, 5.0), 0);
    EXPECT_EQ(tcp_recv_header(closed.near, buf, sizeof buf, 5.0), 0);

    errno = 4242;
    EXPECT_EQ(tcp_recv_line(-1, buf, sizeof buf, 1.0), -10038);
    EXPECT_EQ(tcp_recv_header(-1, buf, sizeof buf, 1.0), -10038);
    EXPECT_EQ(errno, 4242);

    // A zero-length buffer gives 0 once data is there, and takes nothing.
    ASSERT_TRUE(write_all(idle.far, "x\n"));
    EXPECT_EQ(tcp_recv_line(idle.near, buf, 0, 5.0), 0);
    EXPECT_EQ(tcp_recv_header(idle.near, buf, 0, 5.0), 0);
    EXPECT_EQ(peek_available(idle.near), "x\n");
}

TEST(LineReceive, FailedLookIsThePlatformsMinusOne) {
    // A listening socket with a connection pending is ready for reading, but cannot be read:
    // the peek fails.
    testsupport::TcpListener listener;
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(listener.port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    char buf[16];
    errno = 4242;
    EXPECT_EQ(tcp_recv_line(listener.fd(), buf, sizeof buf, 5.0), -1);
    EXPECT_EQ(tcp_recv_header(listener.fd(), buf, sizeof buf, 5.0), -1);
    EXPECT_EQ(errno, 4242);
    ::close(client);
}

TEST(HeaderReceive, TakesTheBlockAndLeavesTheBody) {
    StreamPair pair = tcp_pair();
    const std::string block = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n";
    ASSERT_TRUE(write_all(pair.far, block + "BODY"));
    std::vector<char> buf(256);
    EXPECT_EQ(tcp_recv_header(pair.near, buf.data(), 256, 5.0), int(block.size()));
    EXPECT_EQ(std::string(buf.data()), block);
    EXPECT_EQ(peek_available(pair.near), "BODY");
}

TEST(HeaderReceive, DataThatStopsGrowingIsTakenWhole) {
    StreamPair pair = tcp_pair();
    const std::string partial(40, 'h');
    ASSERT_TRUE(write_all(pair.far, partial));
    std::vector<char> buf(256);
    EXPECT_EQ(tcp_recv_header(pair.near, buf.data(), 256, 5.0), 40);
    EXPECT_EQ(std::string(buf.data()), partial);
    EXPECT_EQ(peek_available(pair.near), "");
}

TEST(ChunkSize, ParseHex4) {
    const struct {
        std::string text;
        int value;
    } cases[] = {
        {"1a\r\n", 0x1a},
        {"1A\r\n", 0x10},
        {"ffff\r\n", 0xffff},
        {"10000\r", 0x1000},
        {"1a\n\0\0"s, 0x1a00},
        {"0\r\n", 0},
        {"\r\n", 0},
        {"", 0},
        {"7\r", 7},
    };
    for (const auto& c : cases) {
        std::string padded = c.text + std::string(8, '\0');
        EXPECT_EQ(parse_hex4(padded.c_str()), c.value) << c.text;
        // The text alone, nothing readable behind its terminator: the same value.
        const std::string text = c.text.substr(0, c.text.find('\0'));
        std::vector<char> exact(text.begin(), text.end());
        exact.push_back('\0');
        EXPECT_EQ(parse_hex4(exact.data()), c.value) << c.text;
    }
}

TEST(ChunkReceive, FramesFromExactBytes) {
    const std::string data16(16, 'u');
    const std::string data_lf(0x1a00, 'l');
    const std::string data_long = "\n" + std::string(0x1000 - 1, 'g'); // the size line's LF
    const std::string data_1088(0x440, 'd'); // 64 kept, 1024 dropped: one whole scratch buffer
    const struct {
        const char* name;
        std::string sent;
        int buf_len;
        int32_t result;
        std::string stored;
    } cases[] = {
        {"fits", "1a\r\n" + kAlphabet + "\r\n", 64, 26, kAlphabet},
        {"cut to the buffer", "1a\r\n" + kAlphabet + "\r\n", 10, 26, kAlphabet.substr(0, 10)},
        {"last chunk", "0\r\n", 64, 0, ""},
        {"upper case counts as 0", "1A\r\n" + data16 + "\r\n", 64, 16, data16},
        {"LF without CR", "1a\n" + data_lf + "\r\n", 64, 0x1a00, data_lf.substr(0, 64)},
        {"7-byte size line", "10000\r\n" + data_long.substr(1) + "\r\n", 64, 0x1000,
         data_long.substr(0, 64)},
        {"dropped part a whole scratch buffer", "440\r\n" + data_1088 + "\r\n", 64, 0x440,
         data_1088.substr(0, 64)},
    };
    for (const auto& c : cases) {
        StreamPair pair = tcp_pair();
        ASSERT_TRUE(write_all(pair.far, c.sent + "NEXT"));
        std::vector<char> buf(static_cast<size_t>(c.buf_len), '#');
        EXPECT_EQ(tcp_recv_chunk(pair.near, buf.data(), c.buf_len, 5.0), c.result) << c.name;
        EXPECT_EQ(text_of(buf), c.stored + std::string(buf.size() - c.stored.size(), '\0'))
            << c.name;
        EXPECT_EQ(peek_available(pair.near), "NEXT") << c.name;
    }
}

TEST(ChunkReceive, EndsEarly) {
    char buf[64];
    {
        StreamPair pair = tcp_pair();
        ASSERT_TRUE(write_all(pair.far, "1a"));
        pair.close_far();
        EXPECT_EQ(tcp_recv_chunk(pair.near, buf, sizeof buf, 5.0), 2); // size-line bytes read
    }
    {
        StreamPair pair = tcp_pair();
        ASSERT_TRUE(write_all(pair.far, "1a\r\n" + kAlphabet));
        // No room for data: none of the chunk's data is taken.
        EXPECT_EQ(tcp_recv_chunk(pair.near, buf, 0, 5.0), 0);
        EXPECT_EQ(peek_available(pair.near), kAlphabet);
    }
    {
        StreamPair pair = tcp_pair();
        ASSERT_TRUE(write_all(pair.far, "1a\r\n"));
        // No time at all: nothing is read.
        EXPECT_EQ(tcp_recv_chunk(pair.near, buf, sizeof buf, 0.0), -10060);
        EXPECT_EQ(peek_available(pair.near), "1a\r\n");
    }
    {
        StreamPair pair = tcp_pair();
        pair.reset_far();
        EXPECT_EQ(tcp_recv_chunk(pair.near, buf, sizeof buf, 5.0), -10054);
    }
    EXPECT_EQ(tcp_recv_chunk(-1, buf, sizeof buf, 5.0), -10038);
}

TEST(ChunkReceive, ChunkCutShortIsAFailureWithWhatCameKept) {
    const std::string k2000(2000, 'k');
    const struct {
        const char* name;
        std::string sent; // then the peer closes
        int buf_len;
        int32_t result;
        std::string stored;
    } cases[] = {
        {"ten of 26 bytes", "1a\r\n" + kAlphabet.substr(0, 10), 64, SOCKERR_FAIL,
         kAlphabet.substr(0, 10)},
        {"no data at all", "1a\r\n", 64, SOCKERR_FAIL, ""},
        {"cut within the dropped part", "1a\r\n" + kAlphabet.substr(0, 20), 10, SOCKERR_FAIL,
         kAlphabet.substr(0, 10)},
        {"cut after the first dropped kilobyte", "1000\r\n" + k2000, 64, SOCKERR_FAIL,
         k2000.substr(0, 64)},
        // All the data came: the chunk is whole even though its closing CR LF did not.
        {"data without the closing CR LF", "1a\r\n" + kAlphabet, 64, 26, kAlphabet},
        {"dropped data without the closing CR LF", "1a\r\n" + kAlphabet, 10, 26,
         kAlphabet.substr(0, 10)},
    };
    for (const auto& c : cases) {
        StreamPair pair = tcp_pair();
        ASSERT_TRUE(write_all(pair.far, c.sent));
        pair.close_far();
        std::vector<char> buf(static_cast<size_t>(c.buf_len), '#');
        EXPECT_EQ(tcp_recv_chunk(pair.near, buf.data(), c.buf_len, 5.0), c.result) << c.name;
        EXPECT_EQ(text_of(buf), c.stored + std::string(buf.size() - c.stored.size(), '\0'))
            << c.name;
    }
}

TEST(ChunkSend, WritesSizeLineDataAndTrailer) {
    StreamPair pair = tcp_pair();
    EXPECT_EQ(tcp_send_chunk(pair.near, kAlphabet.data(), 26, 5.0), 32);
    EXPECT_EQ(drain(pair.far, 32), "1a\r\n" + kAlphabet + "\r\n");
    // The last chunk is its size line alone.
    EXPECT_EQ(tcp_send_chunk(pair.near, nullptr, 0, 5.0), 3);
    EXPECT_EQ(drain(pair.far, 3), "0\r\n");
    EXPECT_EQ(peek_available(pair.far), "");
}

TEST(ChunkSend, LargestChunkAndRefusedLengths) {
    StreamPair pair = tcp_pair();
    const std::string big(0xFFFFF, 'b');
    std::string arrived;
    std::thread reader([&] { arrived = drain(pair.far, 7 + big.size() + 2); });
    EXPECT_EQ(tcp_send_chunk(pair.near, big.data(), int(big.size()), 30.0), 7 + 0xFFFFF + 2);
    reader.join();
    EXPECT_TRUE(arrived == "fffff\r\n" + big + "\r\n");

    // A longer size line would not fit the header: refused before anything is sent.
    EXPECT_EQ(tcp_send_chunk(pair.near, big.data(), 0x100000, 5.0), SOCKERR_FAIL);
    EXPECT_EQ(tcp_send_chunk(pair.near, big.data(), -1, 5.0), SOCKERR_FAIL);
    EXPECT_EQ(tcp_send_chunk(pair.near, big.data(), INT32_MIN, 5.0), SOCKERR_FAIL);
    EXPECT_EQ(peek_available(pair.far), "");
}

TEST(ChunkSend, NoTimeSendsOnlyTheSizeLine) {
    StreamPair pair = tcp_pair();
    EXPECT_EQ(tcp_send_chunk(pair.near, kAlphabet.data(), 26, 0.0), -10060);
    EXPECT_EQ(drain(pair.far, 4), "1a\r\n");
    EXPECT_EQ(tcp_send_chunk(-1, kAlphabet.data(), 26, 5.0), -10038);
}

TEST(ChunkSend, ReceiverReadsWhatTheSenderWrote) {
    StreamPair pair = tcp_pair();
    const std::string first = "first chunk", second(5000, 's');
    ASSERT_EQ(tcp_send_chunk(pair.near, first.data(), int(first.size()), 5.0),
              int(first.size()) + 5);
    ASSERT_EQ(tcp_send_chunk(pair.near, second.data(), int(second.size()), 5.0),
              int(second.size()) + 8);
    ASSERT_EQ(tcp_send_chunk(pair.near, nullptr, 0, 5.0), 3);

    std::vector<char> buf(8192);
    EXPECT_EQ(tcp_recv_chunk(pair.far, buf.data(), 8192, 5.0), int(first.size()));
    EXPECT_EQ(std::string(buf.data()), first);
    EXPECT_EQ(tcp_recv_chunk(pair.far, buf.data(), 8192, 5.0), int(second.size()));
    EXPECT_EQ(std::string(buf.data()), second);
    EXPECT_EQ(tcp_recv_chunk(pair.far, buf.data(), 8192, 5.0), 0);
}

} // namespace
