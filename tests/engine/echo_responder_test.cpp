// reboundsrv seen from a raw client socket: echo sizes, short and empty requests, the request
// counter, a failed send, set-up failures and a clean stop.
#include "engine/echo_responder.h"
#include "engine/probe_header.h"
#include "forged_udp.h"
#include "responder_counters.h"
#include "tests/support/child_process.h"
#include "tests/support/output_grammar.h"
#include "tests/support/udp_peer.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr auto kWait = std::chrono::seconds(5);

class Responder : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = free_udp_port();
        ASSERT_TRUE(server_.start(program_path("reboundsrv"),
                                  {"-h", "127.0.0.1", "-p", std::to_string(port_)}));
        ASSERT_TRUE(server_.wait_for_output("listaddr.sin_port="));
    }
    // Sends `request` and returns the echo, or an empty optional.
    std::optional<std::vector<uint8_t>> exchange(const std::vector<uint8_t>& request,
                                                 std::chrono::milliseconds limit = kWait) {
        client_.send_to(port_, request);
        auto d = client_.receive(limit);
        if (!d) return std::nullopt;
        return d->bytes;
    }
    std::vector<std::string> stop_and_read() {
        server_.signal(SIGTERM);
        EXPECT_TRUE(server_.wait());
        return server_.out_lines();
    }
    ChildProcess server_;
    UdpPeer client_;
    int port_ = 0;
};

TEST_F(Responder, EchoIsTheRequestCutOrPaddedToTheAskedSize) {
    struct Case {
        size_t request;
        uint32_t asked;
        size_t echo;
    };
    const Case cases[] = {{8192, 8192, 8192},
                          {100, 1000, 1000},
                          {1000, 100, 100},
                          {64, 0, 16},
                          {64, 0x80000000u, 16} /* negative when signed */,
                          {64, 1u << 20, 65507} /* cut to the largest UDP payload */};
    uint32_t seq = 7;
    for (const auto& c : cases) {
        auto request = probe(seq, static_cast<uint32_t>(c.request), c.asked, c.request);
        for (size_t k = 16; k < request.size(); ++k)
            request[k] = static_cast<uint8_t>(k);
        const auto echo = exchange(request);
        ASSERT_TRUE(echo) << c.request << "/" << c.asked;
        ASSERT_EQ(echo->size(), c.echo);
        pkthdr_add_flags(request.data(), kProbeFlagEcho); // every echo carries the mark
        const size_t same = std::min(c.request, c.echo);
        EXPECT_TRUE(std::equal(echo->begin(), echo->begin() + same, request.begin()));
        EXPECT_TRUE(
            std::all_of(echo->begin() + same, echo->end(), [](uint8_t b) { return b == 0; }));
        ++seq;
    }
    const auto lines = stop_and_read();
    EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    const auto sends = grammar::of_kind(lines, "lsend");
    ASSERT_EQ(sends.size(), 6u);
    EXPECT_NE(sends[0].find("[000000] sendsize=udp_send(127.0.0.1:" +
                            std::to_string(client_.port()) + "): sendsize=8192 iterpkts=000007"),
              std::string::npos);
    EXPECT_NE(sends[4].find("[000004]"), std::string::npos);
    EXPECT_EQ(server_.exit_code(), 0);
}

TEST_F(Responder, ShortRequestsReadMissingHeaderBytesAsZero) {
    const auto full = probe(0x0302, 100, 100, 16);
    struct Case {
        size_t size;
        uint32_t seq_seen;
    };
    const Case cases[] = {{4, 0}, {5, 0x02}, {7, 0x0302}, {12, 0x0302}};
    for (const auto& c : cases) {
        const std::vector<uint8_t> request(full.begin(), full.begin() + c.size);
        const auto echo = exchange(request);
        ASSERT_TRUE(echo) << c.size;
        ASSERT_EQ(echo->size(), 16u); // word 3 never arrived: the minimum size
        EXPECT_EQ((*echo)[4] | (*echo)[5] << 8, int(c.seq_seen)) << c.size;
    }
}

TEST_F(Responder, EmptyDatagramIsReportedNotAnsweredAndRefusedForBeingEmpty) {
    EXPECT_FALSE(exchange({}, std::chrono::milliseconds(300)));
    ASSERT_TRUE(exchange(probe(1, 32, 32, 32)));
    const auto lines = stop_and_read();
    const auto recvs = grammar::of_kind(lines, "lrecv");
    ASSERT_EQ(recvs.size(), 2u);
    EXPECT_NE(recvs[0].find("[000000] recvsize=udp_blockrecv"), std::string::npos);
    EXPECT_NE(recvs[0].find("recvsize=0 iterpkts=000000"), std::string::npos);
    EXPECT_NE(recvs[1].find("[000000]"), std::string::npos); // the counter did not move
    const auto fails = grammar::of_kind(lines, "lrecvfail");
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].rfind("rebound_listen(): recvsize=udp_blockrecv(): recvsize=0 if "
                             "(recvsize<=0): recvsize=0:",
                             0),
              0u);
    EXPECT_EQ(grammar::of_kind(lines, "lsend").size(), 1u);
    const auto counted = counters_lines(server_.err());
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_EQ(counted[0].at("received"), 2);
    EXPECT_EQ(counted[0].at("refused"), 1);
    EXPECT_EQ(counted[0].at("empty"), 1);
}

TEST_F(Responder, AFailedSendIsReportedAndServingGoesOn) {
    // A source the kernel will not send to from 127.0.0.1 (a documentation address, outside
    // the trusted range: its echo is cut to its 100 bytes).
    ForgedUdp forge;
    ASSERT_TRUE(forge.ready()) << "raw sockets need root";
    ASSERT_TRUE(forge.send("198.51.100.7", 40000, port_, probe(3, 100, 1000, 100)));
    ASSERT_TRUE(exchange(probe(4, 64, 64, 64)));
    const auto lines = stop_and_read();
    EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    const auto sends = grammar::of_kind(lines, "lsend");
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_NE(sends[0].find("[000000] sendsize=udp_send(198.51.100.7:40000): sendsize=-1 "
                            "iterpkts=000003"),
              std::string::npos)
        << sends[0];
    const auto fails = grammar::of_kind(lines, "lsendfail");
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].rfind("rebound_listen(): sendsize=udp_send(): sendsize=-1 if "
                             "(sendsize<=0): sendsize=",
                             0),
              0u)
        << fails[0];
    const auto mismatch = grammar::of_kind(lines, "lmismatch");
    ASSERT_EQ(mismatch.size(), 1u);
    EXPECT_EQ(mismatch[0], "rebound_listen(): if (recvsize!=sendsize) recvsize=100 != sendsize=-1");
    EXPECT_NE(sends[1].find("[000001]"), std::string::npos); // the failed request counted
    const auto counted = counters_lines(server_.err());
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_EQ(counted[0].at("send_failed"), 1);
    EXPECT_EQ(counted[0].at("echoed"), 1);
}

TEST_F(Responder, StopsOnTerminationEvenUnderLoadWithEveryLineWritten) {
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        UdpPeer sender;
        for (uint32_t seq = 0; flooding; ++seq)
            sender.send_to(port_, probe(seq, 64, 64, 64));
    });
    ASSERT_TRUE(server_.wait_for_output("rebound_listen(): [000100]"));
    server_.signal(SIGTERM);
    const bool ended = server_.wait(std::chrono::seconds(10));
    flooding = false;
    flood.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(server_.exit_code(), 0);
    const std::string out = server_.out();
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(grammar::unmatched(split_lines(out)), std::vector<std::string>{});
}

TEST(ResponderSetup, PrintsItsStartLinesAndRefusesAnAddressItCannotBind) {
    UdpPeer taken;
    const auto in_use =
        run_program("reboundsrv", {"-h", "127.0.0.1", "-p", std::to_string(taken.port())});
    EXPECT_EQ(in_use.exit_code, 1);
    EXPECT_NE(in_use.err.find("Address already in use"), std::string::npos) << in_use.err;
    ASSERT_EQ(in_use.lines.size(), 2u);
    EXPECT_EQ(in_use.lines[0], "rebound_listen(): listaddr=create_sockaddrin(AF_INET, "
                               "ipaddr=127.0.0.1, ipport=" +
                                   std::to_string(taken.port()) + "):");
    EXPECT_EQ(in_use.lines[1], "rebound_connect(): connaddr.sin_addr.s_addr=0100007F (127.0.0.1) "
                               "listaddr.sin_port=" +
                                   std::to_string(taken.port()));

    const auto bad = run_program("reboundsrv", {"-h", "no.such.address", "-p", "40000"});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_NE(bad.err.find("'no.such.address' is not an IPv4 address"), std::string::npos)
        << bad.err;
    EXPECT_EQ(bad.out, "");
}

// The start is reported with the port already bound, so a reader that waits for the start
// lines may send its first probe at once; with several loops, every socket is bound.
TEST(ResponderSetup, StartIsReportedOnceThePortIsBound) {
    struct BindOnStart : responder_observer {
        sockaddr_in address{};
        responder_stop* stop = nullptr;
        int bind_errno = 0;
        void started(const responder_start&) override {
            const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
            bind_errno = ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address)
                             ? errno
                             : 0;
            ::close(probe);
            stop->request();
        }
    };
    for (const int loops : {1, 3}) {
        SCOPED_TRACE(loops);
        responder_config config;
        config.ipaddr = "127.0.0.1";
        config.ipport = free_udp_port();
        config.loops = loops;
        responder_stop stop;
        BindOnStart observer;
        observer.address.sin_family = AF_INET;
        observer.address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        observer.address.sin_port = htons(uint16_t(config.ipport));
        observer.stop = &stop;
        EXPECT_EQ(rebound_listen(config, observer, stop), 0);
        EXPECT_EQ(observer.bind_errno, EADDRINUSE);
    }
}

TEST(ResponderSetup, CommandLineErrorsNameTheOptionAndHelpDescribesEveryOption) {
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        const char* text; // on standard error for errors, standard output otherwise
    };
    const Case cases[] = {
        {{"-p", "http"}, 2, "--port: "},
        {{"-p", "70000"}, 2, "--port: "},
        {{"-p"}, 2, "--port: "},
        {{"--verbose"}, 2, "--verbose"},
        {{"--allow", "10.1.2.3/8"}, 2, "--allow: '10.1.2.3/8' is not an IPv4 or IPv6 range"},
        {{"--allow", "10.0.0.0/33"}, 2, "--allow: "},
        {{"--rate", "-1"}, 2, "--rate: "},
        {{"--max-echo", "65508"}, 2, "--max-echo: "},
        {{"--max-echo", "15"}, 2, "--max-echo: "},
        {{"-j", "0"}, 2, "--threads: "},
        {{"--version"}, 0, "reboundsrv "}};
    for (const auto& c : cases) {
        const auto r = run_program("reboundsrv", c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args[0];
        EXPECT_NE((c.exit_code ? r.err : r.out).find(c.text), std::string::npos) << r.err << r.out;
        if (c.exit_code) {
            EXPECT_NE(r.err.find("Try 'reboundsrv --help'."), std::string::npos);
        }
    }
    const auto help = run_program("reboundsrv", {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* option : {"-h,--host", "-p,--port", "--allow", "--rate", "--max-echo",
                               "-q,--quiet", "-j,--threads", "--help", "--version", "SIGUSR1"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

} // namespace
