// reboundsrv: the echo responder as a program. Runs until SIGINT or SIGTERM.
//
// Threads: the receive loops serve datagrams and print into their own line queues; this
// (main) thread supervises. It takes signals as data (SIGINT/SIGTERM stop, SIGUSR1 asks for
// the counters), writes the queued lines to standard output without ever blocking, and after a
// stop writes what the output takes within the stop's time budget, then the counters line.
#include "address/net_address.h"
#include "engine/echo_responder.h"
#include "engine/line_printer.h"
#include "engine/probe_header.h"
#include "engine/responder_tally.h"
#include "platform/signal_channel.h"
#include "platform/socket_errors.h"
#include "tools/cli_app.h"
#include "tools/cli_args.h"
#include "tools/output_writer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

constexpr int32_t kDefaultPort = 33333;
constexpr int kMaxLoops = 64;
constexpr int32_t kMaxRate = 1'000'000;
// After a stop request: how long the remaining lines may take to go out. The whole stop stays
// well within 100 ms even when the output takes nothing.
constexpr auto kFinishBudget = std::chrono::milliseconds(30);

constexpr const char* kDescription =
    "Answers every UDP probe of reboundcli with an echo of the size the probe asks for and\n"
    "prints one line per received and per sent datagram. Runs until SIGINT or SIGTERM.";

constexpr const char* kFooter =
    "Safety: every echo is marked (bit 0x1 of header word 0) and a marked datagram is never\n"
    "answered, so one forged datagram cannot start a loop between two echo services.\n"
    "Datagrams sent to a broadcast or multicast address, and datagrams from the responder's own\n"
    "port, from port 0 or a port below 1024 (echo, chargen, DNS: services a forged source would\n"
    "aim the echo at) or from an address no host has (broadcast, multicast, 0.0.0.0/8,\n"
    "240.0.0.0/4; over IPv6 ff00::/8 and ::) are never answered either; an IPv4 peer seen\n"
    "as ::ffff:a.b.c.d is judged, and printed, as its IPv4 address. Sources outside the --allow "
    "ranges get an echo no\n"
    "larger than their request, at most --rate datagrams a second each, so a forged source\n"
    "cannot make the responder send anyone more than it was sent. --max-echo caps every echo.\n"
    "The port is shared with no other socket: one already in use is refused (exit 1).\n"
    "Logging never holds up serving: a line that standard output cannot take at once is\n"
    "dropped and counted, and standard error says so once.\n"
    "\n"
    "Signals: SIGUSR1 prints the counters on standard error (received, echoed, send_failed,\n"
    "refused by reason, rate_limited, log_dropped); they are printed again at exit. Every\n"
    "received datagram is counted once: received = echoed + send_failed + refused +\n"
    "rate_limited.\n"
    "\n"
    "Exit status: 0 when stopped by SIGINT/SIGTERM, 1 when the socket cannot be bound,\n"
    "2 for a bad command line.";

struct options {
    std::string host;
    int32_t port = kDefaultPort;
    std::vector<std::string> allow{kLoopbackRangeText, kLoopback6RangeText};
    int32_t rate = kDefaultRate;
    int32_t max_echo = kMaxUdpPayload;
    bool quiet = false;
    int32_t loops = 1;
    bool dscp_echo = false;
};

// A check of a text value: "'VALUE' " followed by `what` when `accept` refuses it.
CLI::Validator text_check(bool (*accept)(const std::string&), const std::string& what) {
    return CLI::Validator(
        [accept, what](std::string& value) -> std::string {
            return accept(value) ? std::string() : quoted_text(value) + " " + what;
        },
        "");
}

bool is_range(const std::string& text) {
    ip_ranges ranges;
    return add_ip_range(text, &ranges);
}

// Empty (every address of both families), a dotted IPv4 address or an IPv6 literal.
bool is_serve_address(const std::string& text) {
    if (!looks_like_ipv6(text) && (text.empty() || text.front() != '['))
        return is_host_address(text);
    net_address parsed;
    return parse_address_literal(text, 0, &parsed).empty();
}

// Hands each loop's events to that loop's printer (the start lines go to loop 0's; quiet, only
// they are printed) and flushes the printer's stream at the end of each batch, so the batch's
// lines reach the writer.
class loop_printers final : public responder_observer {
  public:
    loop_printers(const output_writer& out, int loops, bool quiet) : out_(out), quiet_(quiet) {
        for (int i = 0; i < loops; ++i)
            printers_.push_back(std::make_unique<line_printer>(out.stream(i)));
    }
    void started(const responder_start& e) override {
        printers_[0]->started(e);
        std::fflush(out_.stream(0));
    }
    void datagram_received(const responder_datagram& e) override {
        if (!quiet_) printers_[size_t(e.loop)]->datagram_received(e);
    }
    void echo_sent(const responder_echo_sent& e) override {
        if (!quiet_) printers_[size_t(e.loop)]->echo_sent(e);
    }
    void batch_done(int loop) override {
        if (!quiet_) std::fflush(out_.stream(loop));
    }

  private:
    const output_writer& out_;
    bool quiet_;
    std::vector<std::unique_ptr<line_printer>> printers_;
};

// -1 to go on, else the exit status.
int parse(int argc, char** argv, options* o) {
    CLI::App app{kDescription, "reboundsrv"};
    init_app(app, kFooter);
    const auto text = [](auto n) { return std::to_string(n); };
    app.add_option("-h,--host", o->host,
                   "local address to bind to: dotted IPv4 (0.0.0.0: every IPv4\n"
                   "address) or IPv6 (::1; ::, every IPv6 address; fe80::1%eth0)\n"
                   "(default: every address of both families on one socket)")
        ->check(text_check(is_serve_address,
                           "is not an IPv4 address (dotted decimal) or an IPv6 address "
                           "(link-local with its zone)"))
        ->type_name("ADDRESS");
    add_whole_number(app, "-p,--port", &o->port, 1, kLastPort,
                     "local UDP port, 1 to " + text(kLastPort) + " (default " + text(kDefaultPort) +
                         ")")
        ->type_name("PORT");
    app.add_option("--allow", o->allow,
                   "a trusted source range of either family, repeatable: its\nsources get "
                   "echoes of any size their probe asks for\n(default " +
                       std::string(kLoopbackRangeText) + " and " + kLoopback6RangeText +
                       "; --allow replaces both)")
        ->check(text_check(is_range, "is not an IPv4 or IPv6 range (a.b.c.d/n or x::y/n, host "
                                     "bits zero)"))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("CIDR");
    add_whole_number(app, "--rate", &o->rate, 0, kMaxRate,
                     "datagrams a second answered for each source outside --allow,\n0 to " +
                         text(kMaxRate) + " (default " + text(kDefaultRate) +
                         "; 0 answers none of them)");
    add_whole_number(app, "--max-echo", &o->max_echo, PKTHDR_SIZE, kMaxUdpPayload,
                     "largest echo sent to anyone, " + text(PKTHDR_SIZE) + " to " +
                         text(kMaxUdpPayload) + "; a larger ask is cut\nto it (default " +
                         text(kMaxUdpPayload) + ", the largest UDP payload)")
        ->type_name("BYTES");
    app.add_flag("--dscp-echo", o->dscp_echo,
                 "answer every probe with the DSCP it arrived with (default: the\n"
                 "system's default marking); the DSCP a probe arrived with is always\n"
                 "returned with the time stamps a probe asks for");
    app.add_flag("-q,--quiet", o->quiet,
                 "print no per-datagram lines (start lines and counters stay)");
    add_whole_number(app, "-j,--threads", &o->loops, 1, kMaxLoops,
                     "receive loops on the port, 1 to " + text(kMaxLoops) +
                         ", each with its own\nthread, all reading one socket (default 1)");
    return parse_command_line(app, argc, argv);
}

void report_bind_failure(const options& o, int32_t result, int error) {
    std::fprintf(stderr, "reboundsrv: cannot serve on %s: %s (result %d)\n",
                 endpoint_of(o.host.empty() ? "0.0.0.0" : o.host, o.port).c_str(),
                 plat::error_text(error).c_str(), result);
}

} // namespace

int main(int argc, char** argv) {
    options o;
    if (const int status = parse(argc, argv, &o); status >= 0) return status;

    responder_config config;
    config.ipaddr = o.host.c_str();
    config.ipport = o.port;
    ip_ranges trusted;
    for (const auto& text : o.allow)
        add_ip_range(text, &trusted);
    config.policy.trusted = trusted.v4;
    config.policy.trusted6 = trusted.v6;
    config.policy.max_echo = o.max_echo;
    config.rate = static_cast<uint32_t>(o.rate);
    config.loops = o.loops;
    config.dscp_echo = o.dscp_echo;

    // Before any other thread exists, so they all inherit the blocked signals.
    plat::ignore_broken_pipe();
    plat::signal_channel signals{SIGINT, SIGTERM, SIGUSR1};

    output_writer output(o.loops, STDOUT_FILENO, STDERR_FILENO);
    responder_tally tally(o.loops);
    loop_printers printers(output, o.loops, o.quiet);
    responder_observers observer{&tally, &printers};
    responder_stop stop;
    int32_t result = 0;
    int error = 0;
    plat::wake_event finished;
    std::thread service;
    try {
        service = std::thread([&] {
            result = rebound_listen(config, observer, stop);
            error = errno;
            finished.set();
        });
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "reboundsrv: cannot start a thread: %s\n", e.what());
        return 1;
    }

    auto counters_line = [&] {
        output.tell("reboundsrv: " + describe_counts(tally.sum()) +
                    " log_dropped=" + std::to_string(output.dropped()));
    };
    auto deadline = std::chrono::steady_clock::time_point::max();
    for (;;) {
        output.pump();
        plat::wait_item items[4];
        items[0].fd = signals.fd();
        items[0].read = true;
        items[1].fd = finished.fd();
        items[1].read = true;
        items[2].fd = output.wake_fd();
        items[2].read = true;
        items[3].fd = output.pending() ? output.output_fd() : -1;
        items[3].write = true;
        plat::wait_any(items, 4, -1);
        if (items[1].ready) break;
        for (int sig; (sig = signals.take()) != 0;) {
            if (sig == SIGUSR1) {
                counters_line();
            } else if (!stop.requested()) {
                deadline = std::chrono::steady_clock::now() + kFinishBudget;
                stop.request();
            }
        }
    }
    service.join();
    if (result < 0) {
        output.finish(std::chrono::steady_clock::now() + kFinishBudget);
        report_bind_failure(o, result, error);
        return 1;
    }
    output.finish(deadline);
    counters_line();
    return 0;
}
