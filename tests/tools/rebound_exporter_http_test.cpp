// rebound_exporter under HTTP abuse: scrapers that never read, a flood of connections and a
// request line of megabytes leave its memory bounded, its probing going on, and a scrape
// answered once the abuse ends.
#include "tests/support/exporter_process.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

constexpr int kProbesDuringAbuse = 50;
// The exporter's resident memory may grow by no more than this while abused: its HTTP side
// holds a fixed number of workers with fixed buffers, whatever the peers do.
constexpr long kMostGrowthKib = 24 * 1024;

long resident_kib(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A non-blocking TCP connection to 127.0.0.1:port, under way or made; -1 when refused at once.
int connect_to(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int small = 4096; // a scraper that never reads needs no more
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes what the connection takes without waiting; the bytes written.
size_t write_what_it_takes(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

struct abuse {
    const char* name;
    int connections;
    std::function<void(int fd)> act; // on each connection, once made or under way
};

} // namespace

TEST(ExporterHttp, AbuseLeavesMemoryBoundedAndProbingGoingOn) {
    if (!have_promtool()) GTEST_SKIP() << "promtool (Debian's prometheus package) is missing";
    std::atomic<int> probes{0};
    FixtureResponder responder([&](int, const std::vector<uint8_t>& probe) {
        ++probes;
        return std::vector<std::vector<uint8_t>>{proper_echo(probe)};
    });
    const std::string target = "127.0.0.1:" + std::to_string(responder.port());
    ExporterProcess exporter({"--target", target, "--period", "0.01"});
    ASSERT_TRUE(exporter.serving()) << exporter.process().err();
    const std::string labels = "target=\"" + target + "\",name=\"" + target + "\"";
    exporter.scrape_until([&](const std::string& s) {
        return sample_value(s, "rebound_echoes_total", labels) >= 10;
    });
    const long before_kib = resident_kib(exporter.process().pid());
    ASSERT_GT(before_kib, 0);

    const std::string megabytes_line = "GET /" + std::string(8 << 20, 'a');
    const abuse cases[] = {
        {"scrapers that never read", 64,
         [](int fd) { write_what_it_takes(fd, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n"); }},
        {"a flood of idle connections", 400, [](int) {}},
        {"a request line of megabytes", 8,
         [&](int fd) { write_what_it_takes(fd, megabytes_line); }},
    };
    for (const abuse& a : cases) {
        SCOPED_TRACE(a.name);
        std::vector<int> fds;
        for (int i = 0; i < a.connections; ++i)
            if (const int fd = connect_to(exporter.port()); fd >= 0) fds.push_back(fd);
        for (int fd : fds) a.act(fd);
        // Probing goes on while the connections are held.
        const int from = probes;
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (probes < from + kProbesDuringAbuse && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms); // poll interval
        EXPECT_GE(probes, from + kProbesDuringAbuse);
        for (int fd : fds) a.act(fd); // a second push, once the server had time to read
        EXPECT_LT(resident_kib(exporter.process().pid()), before_kib + kMostGrowthKib);
        for (int fd : fds) ::close(fd);

        // Served again once the abuse ends.
        std::string lint;
        std::string text;
        const auto until = std::chrono::steady_clock::now() + 60s;
        do
            text = exporter.scrape(&lint);
        while (text.empty() && std::chrono::steady_clock::now() < until);
        EXPECT_EQ(lint, "");
        EXPECT_GE(sample_value(text, "rebound_exporter_targets"), 1);
    }
    EXPECT_TRUE(exporter.process().err().empty()) << exporter.process().err();
}
