// reboundcli: one round-trip measurement from the command line. By default standard output
// carries the measurement's event lines and nothing else, line by line as they happen; options
// add a summary, a JSON document and an OpenMetrics file, all written also after a stop.
#include "address/net_address.h"
#include "engine/echo_policy.h"
#include "engine/line_printer.h"
#include "engine/probe_header.h"
#include "engine/responder_stamps.h"
#include "engine/round_trip_client.h"
#include "platform/stop_signals.h"
#include "platform/stoppable_output.h"
#include "report/atomic_file.h"
#include "report/json_report.h"
#include "report/openmetrics_report.h"
#include "report/summary_collector.h"
#include "report/summary_printer.h"
#include "tools/cli_app.h"
#include "tools/cli_args.h"
#include "tools/failure_notice.h"
#include "tools/host_text.h"
#include "tools/run_progress.h"
#include "util/dscp_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kDescription =
    "Sends UDP probes to an echo responder (reboundsrv) one after another and prints one line\n"
    "per event: every send, every echo with its round-trip time, time-outs, and closing\n"
    "statistics. Over IPv6 the lines print the responder as [address]:port.";

constexpr const char* kFooter =
    "Summary percentiles are exact up to 1048576 answered probes; beyond that they come from\n"
    "a bounded-memory histogram and are within 1 % of the true value.\n"
    "An echo is matched to its probe while at most 65536 probes were sent after it.\n"
    "Report files are written to a temporary file beside them and renamed over them when the\n"
    "run ends; a symbolic link is followed (its target is replaced), and a name that is empty\n"
    "or names no regular file (a directory, device, FIFO or socket) is refused.\n"
    "Exit status: 0 after a complete run with at least one echo, 1 when a wait failed and the\n"
    "run ended early, the port answered unreachable before any echo, or standard output\n"
    "failed, 2 for a bad command line or report file, 3 after a complete run in which no echo\n"
    "came back, 4 when the JSON document or the metrics file could not be written, 128+N when\n"
    "stopped by signal N: SIGINT, SIGTERM, SIGHUP or SIGPIPE (summary, JSON and metrics are\n"
    "still written).";

constexpr int kExitEarly = 1;
constexpr int kExitNoEcho = 3;
constexpr int kExitReportFailed = 4;
constexpr int kExitSignal = 128;
// An empty probe is refused by responders (it carries nothing to echo), so it would only ever
// count as lost; a probe has at least one byte.
constexpr int64_t kMinProbeSize = 1;
constexpr const char* kStandardOutput = "-";
constexpr size_t kOutputBuffer = 1 << 16;
constexpr size_t kErrorBuffer = 1 << 12; // line-buffered: a message goes out whole, at once
constexpr int32_t kScheduledMinSize = kSeqOffset + kSeqBytes;
constexpr int64_t kMaxTtl = 255;
constexpr size_t kLongestLateWindow = size_t{1} << 21; // 48 MiB of probe slots
// The busy wait of an unpaced run: a few loopback round trips (15-20 us each), so an echo
// from this host or a near one is taken without a sleep and a wake-up; a farther echo costs
// at most this much processor time per probe before the wait sleeps.
constexpr double kUnpacedBusyWait = 50e-6;

struct Settings {
    std::string host = "127.0.0.1";
    host_family family = host_family::any;
    std::string dscp_text;
    rebound_params params;
    bool count_given = false;
    bool busy_wait_given = false;
    bool summary = false;
    bool quiet = false;
    std::string json_path;
    std::string metrics_path;
    bool json_given = false;
    bool metrics_given = false;
};

// Parses the command line into *s; -1 to go on, else the exit status.
int parse(int argc, char** argv, Settings* s) {
    CLI::App app{kDescription, "reboundcli"};
    init_app(app, kFooter);
    rebound_params& p = s->params;
    app.add_option("-h,--host", s->host,
                   "responder: dotted IPv4 address, IPv6 address (::1, [::1], fe80::1%eth0:\n"
                   "a link-local address needs its zone) or host name (default 127.0.0.1)")
        ->type_name("HOST");
    bool only4 = false;
    bool only6 = false;
    CLI::Option* ipv4 = app.add_flag("-4", only4, "resolve the host to an IPv4 address only");
    CLI::Option* ipv6 = app.add_flag("-6", only6,
                                     "resolve the host to an IPv6 address only\n"
                                     "(neither: the first address the name services give)");
    ipv4->excludes(ipv6);
    add_whole_number(app, "-p,--port", &p.ipport, 1, kLastPort,
                     "responder's UDP port, 1..65535 (default 33333)");
    add_seconds(app, "-t,--timeout", &p.timeout, true,
                "limit of every single wait; an echo later than this after its own send\n"
                "counts late (default 0.1)");
    CLI::Option* count =
        add_whole_number(app, "-c,--count", &p.count, 1, std::numeric_limits<int32_t>::max(),
                         "probes to send, at least 1 (default 100; no limit with -d alone)");
    add_seconds(app, "-i,--interval", &p.interval, true,
                "pause after every probe, answered or not (default 0.001; 0: none)");
    CLI::Option* busy_wait =
        add_seconds(app, "--busy-wait", &p.busy_wait, true,
                    "look for each echo without sleeping for up to this long before the\n"
                    "wait sleeps: faster exchanges for a processor kept busy (default with\n"
                    "-i 0: 0.00005; otherwise 0, no busy wait)");
    add_seconds(app, "-d,--duration", &p.duration, false,
                "stop sending after this long (with -c: whichever ends first)");
    add_whole_number(app, "--sendsize", &p.sendsize, kMinProbeSize, kMaxUdpPayload,
                     "bytes per probe, 1..65507, the most a datagram carries (default 8192)");
    add_whole_number(app, "--recvsize", &p.recvsize, 0, kMaxUdpPayload,
                     "echo size to ask for, 0..65507; below 16 asks for 16 (default 8192)");
    add_seconds(app, "--period", &p.period, false,
                "send on a fixed schedule: probe k at start + k*SECONDS, whether or not\n"
                "echoes came back; -t still limits each echo from its own send");
    bool user_clock = false;
    app.add_flag("--user-clock", user_clock,
                 "time each echo by a clock reading right after its receive call, as irtt\n"
                 "and sockperf do, instead of the kernel's receive stamp");
    app.add_flag("--stamps", p.want_stamps,
                 "ask the responder for its receive and send time stamps and split the\n"
                 "round trip by direction in the reports (needs --sendsize and --recvsize\n"
                 "of at least 32); one-way delays include the offset between the two\n"
                 "hosts' clocks, their jitter does not");
    app.add_option("--dscp", s->dscp_text,
                   "mark the probes with this DSCP: 0..63 or a class name (EF, AF41,\n"
                   "CS5, ...); the reports tell the DSCP every echo came back with and,\n"
                   "with --stamps, the one each probe reached the responder with")
        ->type_name("DSCP");
    add_whole_number(app, "--ttl", &p.ttl, 1, kMaxTtl,
                     "send the probes with this TTL (IPv6: hop limit), 1..255");
    app.add_flag("--df", p.dont_fragment,
                 "forbid fragmentation: a probe larger than the path's MTU fails\n"
                 "its send (counted as a failed send) instead of going out in fragments");
    app.add_flag("-s,--summary", s->summary, "print a summary after the closing lines");
    app.add_flag("-q,--quiet", s->quiet, "print the summary only, no event lines");
    CLI::Option* json =
        app.add_option("--json", s->json_path,
                       "write the run as one JSON document to FILE, replacing it atomically\n"
                       "(-: standard output, then without event lines and with the summary on\n"
                       "standard error)")
            ->type_name("FILE");
    CLI::Option* metrics =
        app.add_option("--openmetrics", s->metrics_path,
                       "write the summary in the OpenMetrics text format to FILE, replacing it\n"
                       "atomically (for node_exporter's textfile collector)")
            ->type_name("FILE");
    if (const int status = parse_command_line(app, argc, argv); status >= 0) return status;
    if (!s->dscp_text.empty() || app.count("--dscp") > 0) {
        const auto dscp = parse_dscp(s->dscp_text);
        if (!dscp)
            return usage_error("reboundcli", "--dscp: " + quoted_text(s->dscp_text) +
                                                 " is neither a DSCP (0..63) nor a class name "
                                                 "(CS0..CS7, AF11..AF43, EF, VA, LE)");
        p.dscp = *dscp;
    }
    s->family = only4 ? host_family::ipv4 : only6 ? host_family::ipv6 : host_family::any;
    s->count_given = count->count() > 0;
    s->busy_wait_given = busy_wait->count() > 0;
    p.kernel_stamps = !user_clock;
    s->json_given = json->count() > 0;
    s->metrics_given = metrics->count() > 0;
    return -1;
}

int usage_problem(const std::string& message) {
    return usage_error("reboundcli", message);
}

// Ends the run early once standard output has failed for a reason other than a stop (a full
// disk, /dev/full, a closed descriptor): the lines and reports that go there would be lost.
class output_guard final : public rebound_observer {
  public:
    explicit output_guard(const plat::stoppable_output& out) : out_(out) {}
    bool wants_end() const override { return out_.failure() != 0 && !plat::stop_requested(); }

  private:
    const plat::stoppable_output& out_;
};

} // namespace

int main(int argc, char** argv) {
    // Made first, so that a closed standard output or error keeps its number from the report
    // files. Standard output is fully buffered: the line printer flushes when a wait is over,
    // not inside a round trip.
    plat::stoppable_output out(STDOUT_FILENO, kOutputBuffer, _IOFBF);
    plat::stoppable_output err(STDERR_FILENO, kErrorBuffer, _IOLBF);
    std::FILE* const out_stream = out.stream() ? out.stream() : stdout;
    std::FILE* const err_stream = err.stream() ? err.stream() : stderr;
    Settings s;
    if (const int status = parse(argc, argv, &s); status >= 0) return status;

    const host_address host = resolve_host_text(s.host, s.family);
    if (host.address.empty()) return usage_problem(host.error);
    rebound_params& p = s.params;
    p.ipaddr = host.address.c_str();
    const bool unlimited = p.duration > 0 && !s.count_given;
    if (unlimited) p.count = std::numeric_limits<int32_t>::max();

    if (p.period > 0 && p.sendsize < kScheduledMinSize)
        return usage_problem("--period needs --sendsize of at least " +
                             std::to_string(kScheduledMinSize) +
                             ": shorter probes cannot carry their whole sequence number");
    if (p.want_stamps && std::min(p.sendsize, p.recvsize) < kStampedEchoSize)
        return usage_problem("--stamps needs --sendsize and --recvsize of at least " +
                             std::to_string(kStampedEchoSize) + " to carry the time stamps");
    if (p.period > 0 && s.busy_wait_given)
        return usage_problem("--busy-wait is for lock-step runs: --period sleeps to each send");
    // Unpaced, the client's own sleep and wake-up are a large part of an exchange: a run that
    // asked for speed looks for its echo a little while without sleeping.
    if (!s.busy_wait_given && p.interval == 0) p.busy_wait = kUnpacedBusyWait;
    if (p.period > 0 && scheduled_late_window(p.timeout, p.period) > kLongestLateWindow)
        return usage_problem("--timeout / --period is above " +
                             std::to_string(kLongestLateWindow / 2) +
                             ": too many probes would be in flight");

    // From here a stop request is held until the run can answer it, so the report files
    // opened next are always completed or removed.
    plat::install_stop_signals();

    // Report files are checked, and the JSON document's temporary file made, before the run:
    // a path that cannot take a report is a usage error, not a surprise after a long
    // measurement. Nothing a path names is touched until the run is over.
    if (s.metrics_given && s.metrics_path == kStandardOutput)
        return usage_problem("--openmetrics needs a file: it is replaced atomically");
    if (s.metrics_given) {
        if (std::string why = check_replaceable(s.metrics_path); !why.empty())
            return usage_problem("--openmetrics: " + why);
    }
    const bool json_on_stdout = s.json_given && s.json_path == kStandardOutput;
    file_replacement json_file;
    std::FILE* json_out = json_on_stdout ? out_stream : nullptr;
    if (s.json_given && !json_on_stdout) {
        if (std::string why = json_file.open(s.json_path, kOutputBuffer); !why.empty())
            return usage_problem("--json: " + why);
        json_out = json_file.stream();
    }

    const std::string target = endpoint_of(s.host, p.ipport);
    run_description run;
    run.program = "reboundcli";
    run.version = REBOUND_VERSION;
    run.host = s.host;
    run.port = p.ipport;
    run.timeout = p.timeout;
    run.count = p.count;
    run.count_unlimited = unlimited;
    run.sendsize = p.sendsize;
    run.recvsize = p.recvsize;
    run.interval = p.interval;
    run.busy_wait = p.busy_wait;
    run.duration = p.duration;
    run.period = p.period;
    run.stamps = p.want_stamps;
    run.dscp = p.dscp;
    run.ttl = p.ttl;
    run.dont_fragment = p.dont_fragment;

    // Standard output carries the event lines unless they are unwanted or the JSON document
    // takes it; the summary goes wherever the document is not.
    std::FILE* summary_out = json_on_stdout ? err_stream : out_stream;
    line_printer lines(out_stream);
    summary_collector collector;
    summary_printer summary(collector, target, summary_out);
    auto json = json_out ? std::make_unique<json_report>(collector, run, json_out) : nullptr;
    auto metrics = s.metrics_given
                       ? std::make_unique<openmetrics_report>(collector, target, s.metrics_path)
                       : nullptr;
    RunProgress bar(err_stream, unlimited ? p.duration : 0);
    const bool lines_shown = !s.quiet && !json_on_stdout;
    failure_notice failures(err_stream, target, lines_shown);
    output_guard guard(out);

    // The collector comes before every report that reads the summary when the run ends, the
    // bar before the summary that may follow it on standard error.
    rebound_observers observers{};
    if (lines_shown) observers.add(&lines);
    observers.add(&collector);
    observers.add(&failures);
    if (run_progress_wanted()) observers.add(&bar);
    if (s.summary || s.quiet) observers.add(&summary);
    observers.add(json.get());
    observers.add(metrics.get());
    observers.add(&guard);

    static rebound_info record; // 160 kB: kept off the stack
    const rebound_end end = rebound_run(p, &record, observers);
    std::fflush(out_stream);

    bool reports_written = true;
    if (json_file.stream()) {
        if (std::string why = json_file.commit(); !why.empty()) {
            std::fprintf(err_stream, "reboundcli: --json: %s\n", why.c_str());
            reports_written = false;
        }
    }
    if (metrics && !metrics->error().empty()) {
        std::fprintf(err_stream, "reboundcli: --openmetrics: %s\n", metrics->error().c_str());
        reports_written = false;
    }
    // A stop keeps its status, also one that came from a closed pipe after the run.
    if (end == rebound_end::stopped || plat::stop_requested())
        return kExitSignal + plat::stop_requested();
    if (out.failure()) {
        std::fprintf(err_stream, "reboundcli: standard output: %s\n", std::strerror(out.failure()));
        return kExitEarly;
    }
    if (end == rebound_end::early) return kExitEarly;
    if (!reports_written) return kExitReportFailed;
    return p.count > 0 && record.uniqpkts == 0 ? kExitNoEcho : 0;
}
