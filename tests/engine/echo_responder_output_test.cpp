// reboundsrv's output kept off the service path: a reader that leaves, an output that takes
// nothing, a flood; -q; the counters line on SIGUSR1 and at exit; several receive loops.
#include "responder_counters.h"
#include "tests/support/child_process.h"
#include "tests/support/output_grammar.h"
#include "tests/support/udp_peer.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr auto kWait = std::chrono::seconds(5);

std::vector<std::string> server_args(int port, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"-h", "127.0.0.1", "-p", std::to_string(port)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// Runs reboundsrv with its standard output going into `target`, a bash redirection target
// such as ">(exec head -1)" or a FIFO's path. Its standard error is captured as usual.
bool start_redirected(ChildProcess& p, const std::string& target, int port) {
    std::vector<std::string> args{"-c", "exec \"$0\" \"$@\" > " + target,
                                  program_path("reboundsrv")};
    const auto more = server_args(port);
    args.insert(args.end(), more.begin(), more.end());
    return p.start("/bin/bash", args);
}

bool wait_for_error(const ChildProcess& p, const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (p.err().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool exchange(UdpPeer& client, int port, uint32_t seq) {
    client.send_to(port, probe(seq, 64, 64, 64));
    return client.receive(kWait).has_value();
}

// True once a probe gets its echo, trying for a while: the responder may not be bound yet, and
// a flood may crowd a single probe out of its socket's queue.
bool answers(UdpPeer& client, int port, uint32_t* seq) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        client.send_to(port, probe((*seq)++, 64, 64, 64));
        if (client.receive(std::chrono::milliseconds(100))) return true;
    }
    return false;
}

// Sends probes from a thread of its own until destroyed.
class Flood {
  public:
    explicit Flood(int port)
        : thread_([this, port] {
              UdpPeer sender;
              for (uint32_t seq = 0; running_; ++seq)
                  sender.send_to(port, probe(seq, 64, 64, 64));
          }) {}
    ~Flood() {
        running_ = false;
        thread_.join();
    }

  private:
    std::atomic<bool> running_{true};
    std::thread thread_;
};

TEST(ResponderOutput, AReaderThatLeavesStopsTheLoggingNotTheService) {
    const int port = free_udp_port();
    ChildProcess server; // reboundsrv | head -1
    ASSERT_TRUE(start_redirected(server, ">(exec head -1)", port));
    ASSERT_TRUE(server.wait_for_output("rebound_listen(): listaddr="));
    UdpPeer client;
    uint32_t seq = 0;
    // Serving goes on while the lines meet the closed pipe, and after.
    do
        ASSERT_TRUE(exchange(client, port, seq++));
    while (server.err().find("logging stopped") == std::string::npos && seq < 100000);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(exchange(client, port, seq++));
    server.signal(SIGTERM);
    ASSERT_TRUE(server.wait());
    EXPECT_EQ(server.exit_code(), 0);
    EXPECT_EQ(server.out_lines().size(), 1u); // what head printed
    const std::string err = server.err();
    EXPECT_EQ(occurrences(err, "logging stopped"), 1u) << err;
    EXPECT_NE(err.find("standard output failed (Broken pipe)"), std::string::npos) << err;
    const auto final = counters_lines(err);
    ASSERT_EQ(final.size(), 1u) << err;
    EXPECT_EQ(final[0].at("echoed"), long(seq));
    EXPECT_GT(final[0].at("log_dropped"), 0);
}

TEST(ResponderOutput, AnOutputThatTakesNothingDropsLinesAndStillLetsItStop) {
    char dir[] = "/tmp/rebound-fifo-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string fifo = std::string(dir) + "/out";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open and never read: once the pipe is full, the output takes nothing.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    const int port = free_udp_port();
    ChildProcess server;
    ASSERT_TRUE(start_redirected(server, "'" + fifo + "'", port));
    UdpPeer client;
    uint32_t seq = 0;
    ASSERT_TRUE(answers(client, port, &seq)); // its start lines went into the pipe
    {
        Flood flood(port);
        ASSERT_TRUE(wait_for_error(server, "not keeping up")) << server.err();
        EXPECT_TRUE(answers(client, port, &seq)); // still serving
        server.signal(SIGTERM);                   // during the flood, the output blocked
        EXPECT_TRUE(server.wait(std::chrono::seconds(20)));
    }
    EXPECT_EQ(server.exit_code(), 0);
    const std::string err = server.err();
    EXPECT_EQ(occurrences(err, "not keeping up"), 1u) << err;
    const auto final = counters_lines(err);
    ASSERT_EQ(final.size(), 1u) << err;
    EXPECT_GT(final[0].at("log_dropped"), 0);
    EXPECT_GT(final[0].at("echoed"), 0);
    ::close(reader);
    ::unlink(fifo.c_str());
    ::rmdir(dir);
}

TEST(ResponderOutput, QuietPrintsTheStartLinesAndTheCountersOnly) {
    const int port = free_udp_port();
    ChildProcess server;
    ASSERT_TRUE(server.start(program_path("reboundsrv"), server_args(port, {"-q"})));
    ASSERT_TRUE(server.wait_for_output("listaddr.sin_port="));
    UdpPeer client;
    for (uint32_t seq = 0; seq < 5; ++seq)
        ASSERT_TRUE(exchange(client, port, seq));
    client.send_to(port, {}); // an empty datagram: refused for being empty
    const auto asked =
        counters_when(server, [](const Counters& c) { return c.at("received") == 6; });
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->at("echoed"), 5);
    EXPECT_EQ(asked->at("send_failed"), 0);
    EXPECT_EQ(asked->at("refused"), 1);
    EXPECT_EQ(asked->at("empty"), 1);
    EXPECT_EQ(asked->at("rate_limited"), 0);
    EXPECT_EQ(asked->at("log_dropped"), 0);

    server.signal(SIGTERM);
    ASSERT_TRUE(server.wait());
    EXPECT_EQ(server.exit_code(), 0);
    const auto lines = server.out_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(grammar::kind_of(lines[0]), "listen1");
    const auto all = counters_lines(server.err());
    ASSERT_GE(all.size(), 2u); // the last one at exit
    EXPECT_EQ(all.back(), *asked);
}

TEST(ResponderOutput, SeveralReceiveLoopsShareThePortAndOneOutput) {
    const int port = free_udp_port();
    ChildProcess server;
    ASSERT_TRUE(server.start(program_path("reboundsrv"), server_args(port, {"-j", "3"})));
    ASSERT_TRUE(server.wait_for_output("listaddr.sin_port="));
    constexpr int kClients = 8, kEach = 25;
    std::vector<std::thread> clients;
    std::atomic<int> answered{0};
    for (int c = 0; c < kClients; ++c)
        clients.emplace_back([&] {
            UdpPeer client; // its own source port: the kernel spreads sources over the loops
            for (uint32_t seq = 0; seq < kEach; ++seq)
                answered += exchange(client, port, seq);
        });
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(answered, kClients * kEach);
    server.signal(SIGTERM);
    ASSERT_TRUE(server.wait());
    EXPECT_EQ(server.exit_code(), 0);
    const auto lines = server.out_lines();
    EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    EXPECT_EQ(grammar::kind_of(lines.at(0)), "listen1"); // the start lines come first
    EXPECT_EQ(grammar::kind_of(lines.at(1)), "listen2");
    // Every request has its own counter value, whichever loop served it.
    std::set<std::string> counters;
    for (const auto& line : grammar::of_kind(lines, "lsend"))
        counters.insert(line.substr(line.find('['), 8));
    EXPECT_EQ(counters.size(), size_t(kClients * kEach));
    const auto final = counters_lines(server.err());
    ASSERT_EQ(final.size(), 1u);
    EXPECT_EQ(final[0].at("echoed"), kClients * kEach);
}

} // namespace
