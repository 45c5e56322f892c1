// rebound_exporter: probes many responders continuously and serves the figures to Prometheus.
//
// Threads: one probing thread runs every target's schedule in one readiness loop
// (fleet_prober); civetweb's workers answer HTTP from a copy of the figures (fleet_metrics);
// this (main) thread takes the signals as data: SIGHUP reads the configuration again,
// SIGINT/SIGTERM stop.
#include "engine/fleet_prober.h"
#include "platform/clock.h"
#include "platform/event_wait.h"
#include "platform/inheriting_mutex.h"
#include "platform/process_figures.h"
#include "platform/processors.h"
#include "platform/readiness_loop.h"
#include "platform/signal_channel.h"
#include "report/fleet_exposition.h"
#include "report/fleet_metrics.h"
#include "tools/cli_app.h"
#include "tools/exporter_config.h"
#include "tools/exporter_http.h"
#include "tools/target_resolution.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr const char* kDefaultListen = "127.0.0.1:19333";

constexpr const char* kDescription =
    "Probes every target (a reboundsrv, or any UDP echo service) continuously on its own\n"
    "fixed schedule and serves the counts and round-trip histograms on /metrics for\n"
    "Prometheus, a page of the targets on / and /-/healthy. All targets share one probing\n"
    "thread. Runs until SIGINT or SIGTERM; SIGHUP reads --config again.";

constexpr const char* kFooter =
    "Counters per target: probes sent, echoes (answered within the wait), probes lost (no echo\n"
    "within the wait), late echoes (after the wait; the probe stays lost), duplicates. A\n"
    "probe's echo is awaited for --timeout (default the smaller of 5 s and 5 periods).\n"
    "Histograms: the round trip and, when the responder returns its stamps, the network round\n"
    "trip and the two one-way delays (which hold the offset between the hosts' clocks).\n"
    "\n"
    "SIGHUP: the file is read again; targets whose settings did not change keep their counters\n"
    "and schedule. A file that does not read is reported on standard error and the running\n"
    "targets go on.\n"
    "\n"
    "Exit status: 0 when stopped by SIGINT/SIGTERM, 1 when the configuration does not read or\n"
    "the address cannot be served, 2 for a bad command line.";

struct options {
    std::vector<std::string> targets;
    std::string config;
    std::string listen = kDefaultListen;
    target_config base;
    int sched_priority = 0; // 0: the probing thread is scheduled as any other
    bool check_only = false;
};

// -1 to go on, else the exit status.
int parse(int argc, char** argv, options* o) {
    CLI::App app{kDescription, "rebound_exporter"};
    init_app(app, kFooter);
    app.add_option("--target", o->targets,
                   "a target, HOST or HOST:PORT (port default 33333; an IPv6 address with a\n"
                   "port in brackets: [::1]:33333), repeatable; its name is HOST:PORT")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("HOST[:PORT]");
    app.add_option("--config", o->config,
                   "a YAML file of targets (see the man page); read again on SIGHUP")
        ->type_name("FILE");
    app.add_option("--listen", o->listen,
                   std::string("where to serve HTTP, a dotted IPv4 address and a port\n(default ") +
                       kDefaultListen + "; port 0: any free port)")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                std::string a;
                int p;
                return split_listen_text(text, &a, &p);
            },
            ""))
        ->type_name("ADDR:PORT");
    add_seconds(app, "--period", &o->base.period, false,
                "seconds between probes of a --target (default 1); the file's\ntargets take "
                "their own");
    add_seconds(app, "--timeout", &o->base.timeout, false,
                "seconds each echo is awaited (default the smaller of 5 and\n5 periods)");
    add_whole_number(app, "--probe-size", &o->base.probe_size, 16, 65507,
                     "probe bytes, 16 to 65507 (default 64)")
        ->type_name("BYTES");
    add_whole_number(app, "--echo-size", &o->base.echo_size, 16, 65507,
                     "echo bytes asked for, 16 to 65507 (default 64; 32 and more\ncarry the "
                     "responder's stamps)")
        ->type_name("BYTES");
    add_whole_number(app, "--sched-priority", &o->sched_priority, plat::kLowestRealtimePriority,
                     plat::kHighestRealtimePriority,
                     "run the probing thread at this real-time priority (SCHED_FIFO, 1 to 99),\n"
                     "so that no ordinary process on the host delays a probe; needs CAP_SYS_NICE\n"
                     "or an RLIMIT_RTPRIO of at least the priority (default: not real-time)")
        ->type_name("N");
    app.add_flag("--check-config", o->check_only,
                 "read the targets, resolve them, print them and exit");
    const int status = parse_command_line(app, argc, argv);
    if (status >= 0) return status;
    if (o->targets.empty() && o->config.empty())
        return usage_error("rebound_exporter", "no targets: give --target or --config");
    return -1;
}

// Every target the command line and the file name, resolved.
resolution load(const options& o) {
    config_result cli;
    for (const std::string& text : o.targets) {
        config_result one = target_from_text(text, o.base);
        if (!one.error.empty()) return {{}, one.error};
        cli.targets.push_back(std::move(one.targets.front()));
    }
    config_result file;
    if (!o.config.empty()) {
        target_config file_base; // the file's targets take the file's settings only
        file = read_config_file(o.config, file_base);
        if (!file.error.empty()) return {{}, file.error};
    }
    config_result all = join_targets(std::move(cli.targets), std::move(file.targets));
    if (!all.error.empty()) return {{}, all.error};
    return resolve_targets(all.targets);
}

// The targets in force and their ids: a target whose settings and address did not change
// keeps its id, and with it its counters and schedule.
class target_set {
  public:
    target_set(fleet_metrics& metrics, fleet_prober& prober)
        : metrics_(metrics), prober_(prober) {}

    void apply(const std::vector<resolved_target>& next) {
        std::vector<entry> entries;
        std::vector<std::pair<uint64_t, target_identity>> identities;
        std::vector<fleet_target> fleet;
        for (const resolved_target& t : next) {
            uint64_t id = 0;
            for (const entry& e : running_)
                if (e.target.config.same_settings(t.config) && same_address(e.target, t))
                    id = e.id;
            if (id == 0) id = ++last_id_;
            entries.push_back({id, t});
            target_identity identity;
            identity.labels = {{"target", t.config.host_port()}, {"name", t.config.name}};
            for (const auto& l : t.config.labels) identity.labels.push_back(l);
            identity.buckets = std::make_shared<const bucket_bounds>(t.config.buckets);
            identities.emplace_back(id, std::move(identity));
            fleet.push_back({id, t.probe});
        }
        {
            const std::lock_guard lock(names_mutex_);
            names_.clear();
            for (const entry& e : entries) names_.emplace(e.id, e.target.config.name);
        }
        // Figures first, so the first events of a new target find its place.
        metrics_.set_targets(identities);
        prober_.set_targets(std::move(fleet));
        running_ = std::move(entries);
    }
    size_t size() const { return running_.size(); }
    // The name of the target with this id, for messages from the probing thread.
    std::string name_of(uint64_t id) const {
        const std::lock_guard lock(names_mutex_);
        const auto it = names_.find(id);
        return it == names_.end() ? std::to_string(id) : it->second;
    }

  private:
    struct entry {
        uint64_t id;
        resolved_target target;
    };
    static bool same_address(const resolved_target& a, const resolved_target& b) {
        return a.probe.address_length == b.probe.address_length &&
               std::memcmp(&a.probe.address, &b.probe.address, a.probe.address_length) == 0;
    }
    fleet_metrics& metrics_;
    fleet_prober& prober_;
    std::vector<entry> running_;
    uint64_t last_id_ = 0;
    mutable plat::inheriting_mutex names_mutex_; // also taken by the probing thread
    std::map<uint64_t, std::string> names_;
};

struct failure_printer final : fleet_prober::failure_sink {
    explicit failure_printer(const target_set& targets) : targets_(targets) {}
    void target_failed(uint64_t id, const std::string& why) override {
        std::fprintf(stderr, "rebound_exporter: target %s cannot be probed: %s\n",
                     quoted_text(targets_.name_of(id)).c_str(), why.c_str());
        std::fflush(stderr);
    }
    const target_set& targets_;
};

std::string targets_text(size_t n) {
    return std::to_string(n) + (n == 1 ? " target" : " targets");
}

void say(FILE* to, const std::string& line) {
    std::fprintf(to, "rebound_exporter: %s\n", line.c_str());
    std::fflush(to);
}

} // namespace

int main(int argc, char** argv) {
    options o;
    if (const int status = parse(argc, argv, &o); status >= 0) return status;

    // Before any other thread exists, so they all inherit the blocked signals.
    plat::ignore_broken_pipe();
    plat::signal_channel signals{SIGINT, SIGTERM, SIGHUP};
    plat::raise_open_file_limit(); // a socket per target

    resolution first = load(o);
    if (!first.error.empty()) {
        say(stderr, first.error);
        return 1;
    }
    if (o.check_only) {
        for (const resolved_target& t : first.targets)
            std::printf("%s %s period %g s\n", t.config.name.c_str(),
                        t.config.host_port().c_str(), t.config.period);
        std::printf("rebound_exporter: %s\n", targets_text(first.targets.size()).c_str());
        return 0;
    }

    fleet_metrics metrics;
    fleet_prober prober(metrics);
    target_set targets(metrics, prober);
    failure_printer failures(targets);
    prober.on_failure(&failures);
    targets.apply(first.targets);

    std::mutex figures_mutex; // guards reload_ok and reload_stamp
    bool reload_ok = true;
    double reload_stamp = double(plat::wall_ns()) / double(plat::kNanosPerSecond);
    const auto exporter_state = [&] {
        exporter_figures e;
        e.version = REBOUND_VERSION;
        {
            const std::lock_guard lock(figures_mutex);
            e.last_reload_ok = reload_ok;
            e.last_reload_stamp = reload_stamp;
        }
        e.process = plat::read_process_figures();
        return e;
    };
    exporter_http http(
        [&](exposition_format f, const text_sink& sink) {
            write_fleet_exposition(metrics.snapshot(), exporter_state(), f, sink);
        },
        [&] { return fleet_page_html(metrics.snapshot(), REBOUND_VERSION); });

    std::string probe_error;
    plat::wake_event probing_ended;
    std::thread probing;
    try {
        probing = std::thread([&] {
            probe_error = prober.run();
            probing_ended.set();
        });
    } catch (const std::system_error& e) {
        say(stderr, std::string("cannot start the probing thread: ") + e.what());
        return 1;
    }
    const auto finish = [&](int status) {
        prober.stop();
        probing.join();
        http.stop();
        if (!probe_error.empty()) {
            say(stderr, probe_error);
            return 1;
        }
        return status;
    };
    plat::name_thread(probing.native_handle(), "probing");
    if (o.sched_priority > 0) {
        if (const std::string why =
                plat::set_realtime_priority(probing.native_handle(), o.sched_priority);
            !why.empty()) {
            say(stderr, "cannot run the probing thread at real-time priority " +
                            std::to_string(o.sched_priority) + ": " + why +
                            " (it needs CAP_SYS_NICE or an RLIMIT_RTPRIO of at least " +
                            std::to_string(o.sched_priority) + ")");
            return finish(1);
        }
    }
    if (const std::string why = http.start(o.listen, http_limits{}); !why.empty()) {
        say(stderr, "cannot serve HTTP on " + o.listen + ": " + why);
        return finish(1);
    }
    std::string address;
    int port = 0;
    split_listen_text(o.listen, &address, &port);
    say(stdout, "serving http://" + address + ":" + std::to_string(http.port()) +
                    "/metrics, probing " + targets_text(targets.size()));

    for (;;) {
        plat::wait_item items[2];
        items[0].fd = signals.fd();
        items[0].read = true;
        items[1].fd = probing_ended.fd();
        items[1].read = true;
        plat::wait_any(items, 2, -1);
        if (items[1].ready) return finish(1);
        for (int sig; (sig = signals.take()) != 0;) {
            if (sig != SIGHUP) {
                say(stdout, "stopped by signal " + std::to_string(sig));
                return finish(0);
            }
            resolution next = load(o);
            const std::lock_guard lock(figures_mutex);
            reload_ok = next.error.empty();
            if (!reload_ok) {
                say(stderr, next.error + "; the " + targets_text(targets.size()) +
                                " in force go on");
                continue;
            }
            targets.apply(next.targets);
            reload_stamp = double(plat::wall_ns()) / double(plat::kNanosPerSecond);
            say(stdout, "configuration read again: probing " + targets_text(targets.size()));
        }
    }
}
