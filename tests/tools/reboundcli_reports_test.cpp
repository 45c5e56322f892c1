// reboundcli's reports as a user and a script see them: the summary (-s, -q), the JSON document
// and the OpenMetrics file, against a fixture responder with known delays, drops and
// duplicates; pacing (-i), the time limit (-d), exit status 3, and the reports after SIGINT.
#include "tests/support/child_process.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/openmetrics_parse.h"
#include "tests/support/output_grammar.h"
#include "tests/support/private_namespaces.h"
#include "tests/support/read_file.h"
#include "tests/support/summary_text.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
using json = nlohmann::json;

namespace {

constexpr double kDelayMs = 2.0;         // the fixture holds echoes this long
constexpr double kGenerousBoundMs = 500; // scheduling on a busy machine, never a failure
constexpr double kTextRounding = 0.0005; // the summary prints milliseconds with 3 decimals

uint32_t seq_of(const std::vector<uint8_t>& probe) {
    return probe[4] | probe[5] << 8 | probe[6] << 16 | uint32_t(probe[7]) << 24;
}

using Replies = std::vector<std::vector<uint8_t>>;

FixtureResponder::Script answer_all() {
    return [](int, const std::vector<uint8_t>& p) { return Replies{proper_echo(p)}; };
}

// Every `every`-th probe (1-based) unanswered, the others answered after kDelayMs.
FixtureResponder::Script drop_every(uint32_t every) {
    return [every](int, const std::vector<uint8_t>& p) {
        if ((seq_of(p) + 1) % every == 0) return Replies{};
        std::this_thread::sleep_for(std::chrono::microseconds(int(kDelayMs * 1000)));
        return Replies{proper_echo(p)};
    };
}

// Probes 1, 6, 11, ... answered twice (never the last of a run of `count`, whose second echo
// would come after the run had everything it waits for).
FixtureResponder::Script duplicate_every_fifth(uint32_t count) {
    return [count](int, const std::vector<uint8_t>& p) {
        const uint32_t seq = seq_of(p);
        if (seq % 5 == 1 && seq + 1 < count) return Replies{proper_echo(p), proper_echo(p)};
        return Replies{proper_echo(p)};
    };
}

FixtureResponder::Script silence() {
    return [](int, const std::vector<uint8_t>&) { return Replies{}; };
}

std::string temp_path(const char* tag) {
    char pattern[64];
    std::snprintf(pattern, sizeof pattern, "/tmp/rebound-cli-%s-XXXXXX", tag);
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    return pattern;
}

// A run of reboundcli with every report; the files are removed afterwards.
struct ReportedRun {
    RunResult result;
    std::vector<std::string> event_lines;   // before the summary
    std::vector<std::string> summary_lines; // from the "--- " line on
    std::map<std::string, double> summary;
    json document;
    MetricsReading metrics;
};

void split_output(ReportedRun* r) {
    bool in_summary = false;
    for (const auto& line : r->result.lines) {
        in_summary = in_summary || line.rfind("--- ", 0) == 0;
        (in_summary ? r->summary_lines : r->event_lines).push_back(line);
    }
    std::string text;
    for (const auto& line : r->summary_lines)
        text += line + "\n";
    r->summary = summary_numbers(text);
}

ReportedRun run_with_reports(int port, std::vector<std::string> args) {
    ReportedRun r;
    const std::string json_path = temp_path("json");
    const std::string metrics_path = temp_path("metrics") + ".prom";
    args.insert(args.end(), {"-p", std::to_string(port), "--sendsize=64", "--recvsize=64", "-s",
                             "--json", json_path, "--openmetrics", metrics_path});
    r.result = run_program("reboundcli", args);
    split_output(&r);
    r.document = json::parse(read_file(json_path), nullptr, false); // discarded when invalid
    r.metrics = parse_openmetrics_file(metrics_path);
    ::unlink(json_path.c_str());
    ::unlink(metrics_path.c_str());
    return r;
}

double gauge(const MetricsReading& m, const char* name) {
    const json families = json::parse(m.json);
    const json& v = families.at(name)["samples"][0][2];
    return v.is_null() ? NAN : v.get<double>();
}

// The JSON document's summary holds the numbers of the text summary.
void expect_document_agrees(const ReportedRun& r) {
    const json& s = r.document["summary"];
    const auto& t = r.summary;
    EXPECT_EQ(s["probes_sent"], t.at("probes.probes sent"));
    EXPECT_EQ(s["echoes_unique"], t.at("probes.echoes received"));
    EXPECT_NEAR(s["lost_percent"].get<double>(), t.at("probes.lost"), 0.05);
    EXPECT_EQ(s["duplicates"], t.at("duplicates.duplicates"));
    EXPECT_EQ(s["late"], t.at("duplicates.late"));
    EXPECT_EQ(s["foreign"], t.at("duplicates.foreign"));
    if (s["round_trip"]["count"] == 0) return;
    for (const char* key : {"min", "mean", "median", "p90", "p99", "p99.9", "max"})
        EXPECT_NEAR(s["round_trip"][key].get<double>() * 1000, t.at(std::string("round.") + key),
                    kTextRounding)
            << key;
}

TEST(CliReports, KnownRunsAgreeInEveryReport) {
    struct Case {
        const char* name;
        FixtureResponder::Script script;
        std::vector<std::string> args;
        int exit_code, sent, unique, duplicates;
        double lost, least_rtt_ms;
    };
    const Case cases[] = {
        {"every 10th dropped",
         drop_every(10),
         {"-c", "100", "-t", "0.25", "-i", "0"},
         0,
         100,
         90,
         0,
         10.0,
         kDelayMs},
        {"every 5th answered twice",
         duplicate_every_fifth(20),
         {"-c", "20", "-t", "1"},
         0,
         20,
         20,
         4,
         0.0,
         0},
        {"nobody answers", silence(), {"-c", "3", "-t", "0.05"}, 3, 3, 0, 0, 100.0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FixtureResponder responder(c.script);
        const ReportedRun r = run_with_reports(responder.port(), c.args);
        EXPECT_EQ(r.result.exit_code, c.exit_code) << r.result.err;
        EXPECT_EQ(grammar::unmatched(r.event_lines), std::vector<std::string>{});
        ASSERT_EQ(r.summary_lines.size(), 7u) << r.result.out;
        EXPECT_EQ(r.summary.at("probes.probes sent"), c.sent);
        EXPECT_EQ(r.summary.at("probes.echoes received"), c.unique);
        EXPECT_EQ(r.summary.at("duplicates.duplicates"), c.duplicates);
        EXPECT_EQ(r.summary.at("probes.lost"), c.lost);
        if (c.unique == 0) {
            EXPECT_EQ(r.summary_lines[3], "round trip: no echo");
        } else {
            // Every round trip includes the fixture's hold; the median stays within the band.
            EXPECT_GE(r.summary.at("round.min"), c.least_rtt_ms);
            EXPECT_LT(r.summary.at("round.median"), c.least_rtt_ms + kGenerousBoundMs);
        }

        ASSERT_FALSE(r.document.is_discarded()) << "the JSON document does not parse";
        expect_document_agrees(r);
        const json& probes = r.document["probes"];
        ASSERT_EQ(probes.size(), size_t(c.sent));
        int unanswered = 0, duplicates = 0;
        for (const auto& p : probes) {
            unanswered += p["round_trip"].is_null();
            duplicates += p["duplicates"].get<int>();
        }
        EXPECT_EQ(unanswered, c.sent - c.unique);
        EXPECT_EQ(duplicates, c.duplicates);

        ASSERT_TRUE(r.metrics.parsed) << r.metrics.error;
        EXPECT_NEAR(gauge(r.metrics, "rebound_loss_ratio"), c.lost / 100, 1e-12);
        EXPECT_EQ(gauge(r.metrics, "rebound_echoes_unique"), c.unique);
        EXPECT_EQ(gauge(r.metrics, "rebound_echoes_duplicate"), c.duplicates);
        EXPECT_EQ(gauge(r.metrics, "rebound_run_complete"), 1);
    }
}

TEST(CliReports, QuietPrintsTheSummaryOnly) {
    FixtureResponder responder(answer_all());
    const auto r = run_program(
        "reboundcli", {"-q", "-c", "10", "-p", std::to_string(responder.port()), "--sendsize=64"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 7u) << r.out;
    EXPECT_EQ(r.lines[0],
              "--- 127.0.0.1:" + std::to_string(responder.port()) + " round-trip summary ---");
    EXPECT_EQ(r.lines[1], "probes sent 10, echoes received 10 (unique), lost 0.0 %");
}

TEST(CliReports, JsonOnStandardOutputStandsAlone) {
    FixtureResponder responder(answer_all());
    const auto r = run_program("reboundcli", {"--json", "-", "-s", "-c", "5", "-p",
                                              std::to_string(responder.port()), "--sendsize=64"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const json d = json::parse(r.out, nullptr, false); // the whole of standard output
    ASSERT_FALSE(d.is_discarded()) << r.out;
    EXPECT_EQ(d["probes"].size(), 5u);
    EXPECT_NE(r.err.find("probes sent 5, echoes received 5 (unique)"), std::string::npos);
}

TEST(CliReports, IntervalAndDurationPaceAndEndTheRun) {
    FixtureResponder responder(answer_all());
    const int port = responder.port();
    struct Case {
        std::vector<std::string> args;
        double least_gap; // between consecutive sends, seconds
        int sent;         // exact, or -1
        int fewer_than;   // an upper bound on the probes sent, or 0
        double least_elapsed;
        bool count_in_json;
        double busy_wait = 0; // as the document tells it
    };
    const Case cases[] = {
        {{"-c", "5", "-i", "0.02"}, 0.02, 5, 0, 0.08, true},
        {{"-c", "50", "-i", "0"}, 0, 50, 0, 0, true, 5e-05}, // unpaced: the default busy wait
        {{"-d", "0.3", "-i", "0.01"}, 0.01, -1, 0, 0.3, false},          // no -c: time alone
        {{"-d", "0.3", "-c", "1000000"}, 0.001, -1, 1000000, 0.3, true}, // time comes first
        {{"-d", "60", "-c", "5"}, 0.001, 5, 0, 0, true},                 // the count comes first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2] + " " + c.args[3]);
        const ReportedRun r = run_with_reports(port, c.args);
        EXPECT_EQ(r.result.exit_code, 0) << r.result.err;
        ASSERT_FALSE(r.document.is_discarded());
        const json& probes = r.document["probes"];
        if (c.sent >= 0) {
            EXPECT_EQ(probes.size(), size_t(c.sent));
        }
        if (c.fewer_than) {
            EXPECT_LT(probes.size(), size_t(c.fewer_than));
        }
        EXPECT_GE(probes.size(), 1u);
        for (size_t i = 1; i < probes.size(); ++i)
            EXPECT_GE(probes[i]["send_offset"].get<double>() -
                          probes[i - 1]["send_offset"].get<double>(),
                      c.least_gap)
                << i;
        EXPECT_GE(r.document["summary"]["elapsed"].get<double>(), c.least_elapsed);
        EXPECT_EQ(r.document["parameters"]["count"].is_null(), !c.count_in_json);
        EXPECT_EQ(r.document["parameters"]["busy_wait"], c.busy_wait);
    }
}

TEST(CliReports, SummaryJsonAndMetricsAfterSigint) {
    FixtureResponder responder(silence());
    const std::string json_path = temp_path("json");
    const std::string metrics_path = temp_path("metrics") + ".prom";
    ChildProcess p;
    ASSERT_TRUE(p.start(program_path("reboundcli"),
                        {"-p", std::to_string(responder.port()), "-t", "0.2", "-c", "1000", "-s",
                         "--json", json_path, "--openmetrics", metrics_path}));
    ASSERT_TRUE(p.wait_for_output("result=select(): TIMEOUT"));
    p.signal(SIGINT);
    ASSERT_TRUE(p.wait());
    EXPECT_EQ(p.exit_code(), 128 + SIGINT); // the stop keeps its status
    ReportedRun r;
    r.result.lines = p.out_lines();
    split_output(&r);
    ASSERT_EQ(r.summary_lines.size(), 7u) << p.out();
    EXPECT_EQ(r.summary_lines[0], "--- 127.0.0.1:" + std::to_string(responder.port()) +
                                      " round-trip summary (run stopped by a signal) ---");
    EXPECT_GE(r.summary.at("probes.probes sent"), 1);
    EXPECT_EQ(r.summary.at("probes.lost"), 100.0);

    r.document = json::parse(read_file(json_path), nullptr, false);
    ASSERT_FALSE(r.document.is_discarded()) << read_file(json_path);
    EXPECT_EQ(r.document["end"], "stopped");
    expect_document_agrees(r);
    r.metrics = parse_openmetrics_file(metrics_path);
    ASSERT_TRUE(r.metrics.parsed) << r.metrics.error;
    EXPECT_EQ(gauge(r.metrics, "rebound_run_complete"), 0);
    ::unlink(json_path.c_str());
    ::unlink(metrics_path.c_str());
}

// A scratch directory for one report target, removed with everything in it (a tmpfs mounted
// on a subdirectory is unmounted first).
class Scratch {
  public:
    Scratch() {
        char pattern[] = "/tmp/rebound-targets-XXXXXX";
        if (::mkdtemp(pattern)) dir_ = pattern;
    }
    ~Scratch() {
        for (const auto& m : mounts_)
            unmount_private(m);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // A directory of its own file system in the scratch directory; empty on success.
    std::string mount(const std::string& name, unsigned long flags, const std::string& options) {
        ::mkdir(path(name).c_str(), 0755);
        std::string why = mount_private_tmpfs(path(name), flags, options);
        if (why.empty()) mounts_.push_back(path(name));
        return why;
    }
    // What the directory holds, sorted: a temporary file left behind shows up here.
    std::vector<std::string> names(const std::string& sub = "") const {
        std::vector<std::string> n;
        for (const auto& e : std::filesystem::directory_iterator(sub.empty() ? dir_ : path(sub)))
            n.push_back(e.path().filename().string());
        std::sort(n.begin(), n.end());
        return n;
    }

  private:
    std::string dir_;
    std::vector<std::string> mounts_;
};

mode_t file_type(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

bool report_reads_back(const std::string& option, const std::string& path) {
    if (option == "--openmetrics") return parse_openmetrics_file(path).parsed;
    const json d = json::parse(read_file(path), nullptr, false);
    return !d.is_discarded() && d["probes"].size() == 2;
}

// Every kind of target a report path can name, for both report files: a report replaces a
// regular file (also one reached through a symbolic link, which stays a link) with a new one
// whose mode follows the umask; everything else is refused before the run and left as it was.
TEST(CliReports, ReportTargets) {
    FixtureResponder responder(answer_all());
    const mode_t mask = ::umask(022);
    ::umask(mask);
    struct Case {
        const char* name;
        std::function<std::string(Scratch&)> make; // makes the target, returns the path to give
        const char* written_at;                    // where the report lands, or null: refused
        const char* message;                       // on standard error, for a refusal
    };
    const Case cases[] = {
        {"regular file",
         [](Scratch& d) {
             std::ofstream(d.path("report")) << "an earlier run\n";
             ::chmod(d.path("report").c_str(), 0600);
             return d.path("report");
         },
         "report", nullptr},
        {"symbolic link to a file",
         [](Scratch& d) {
             std::ofstream(d.path("target")) << "an earlier run\n";
             ::symlink("target", d.path("link").c_str());
             return d.path("link");
         },
         "target", nullptr},
        {"dangling symbolic link",
         [](Scratch& d) {
             ::symlink("created", d.path("link").c_str());
             return d.path("link");
         },
         "created", nullptr},
        {"device node like /dev/null",
         [](Scratch& d) {
             ::mknod(d.path("null").c_str(), S_IFCHR | 0666, makedev(1, 3));
             return d.path("null");
         },
         nullptr, "is a character device, not a regular file"},
        {"FIFO",
         [](Scratch& d) {
             ::mkfifo(d.path("fifo").c_str(), 0600);
             return d.path("fifo");
         },
         nullptr, "is a FIFO, not a regular file"},
        {"socket",
         [](Scratch& d) {
             sockaddr_un a{};
             a.sun_family = AF_UNIX;
             std::snprintf(a.sun_path, sizeof a.sun_path, "%s", d.path("socket").c_str());
             const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
             ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
             ::close(fd);
             return d.path("socket");
         },
         nullptr, "is a socket, not a regular file"},
        {"directory",
         [](Scratch& d) {
             ::mkdir(d.path("dir").c_str(), 0755);
             return d.path("dir");
         },
         nullptr, "is a directory, not a regular file"},
        {"read-only directory",
         [](Scratch& d) {
             const std::string why = d.mount("ro", MS_RDONLY, "");
             EXPECT_EQ(why, "");
             return d.path("ro/report");
         },
         nullptr, "Read-only file system"},
        {"missing directory", [](Scratch& d) { return d.path("no-such-dir/report"); }, nullptr,
         "No such file or directory"},
        {"empty name", [](Scratch&) { return std::string(); }, nullptr, "the file name is empty"},
    };
    for (const auto& c : cases) {
        for (const std::string option : {"--json", "--openmetrics"}) {
            SCOPED_TRACE(std::string(c.name) + " " + option);
            Scratch d;
            const std::string given = c.make(d);
            const mode_t type_before = file_type(given);
            const std::vector<std::string> before = d.names();
            const auto r = run_program("reboundcli", {"-p", std::to_string(responder.port()), "-c",
                                                      "2", "-q", "--sendsize=64", option, given});
            if (c.written_at) {
                EXPECT_EQ(r.exit_code, 0) << r.err;
                const std::string file = d.path(c.written_at);
                EXPECT_TRUE(report_reads_back(option, file)) << read_file(file);
                struct stat st {};
                ASSERT_EQ(::lstat(file.c_str(), &st), 0);
                EXPECT_TRUE(S_ISREG(st.st_mode));
                EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
                EXPECT_EQ(file_type(given), S_IFLNK == type_before ? S_IFLNK : S_IFREG);
            } else {
                EXPECT_EQ(r.exit_code, 2);
                EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
                EXPECT_EQ(r.out, ""); // refused before the run
                EXPECT_EQ(file_type(given), type_before);
            }
            // Nothing else appears beside the target: no temporary file is left behind.
            std::vector<std::string> after = before;
            if (c.written_at && file_type(given) == S_IFLNK) after.push_back(c.written_at);
            std::sort(after.begin(), after.end());
            after.erase(std::unique(after.begin(), after.end()), after.end());
            EXPECT_EQ(d.names(), after);
        }
    }
}

// A report that cannot be written after the run (its disk fills up) is not passed off as a
// success, and the earlier file stays as it was; a refused command line touches no report.
TEST(CliReports, ReportsThatCannotBeWrittenLeaveTheEarlierFile) {
    UdpPeer bound_silent; // a port that answers nothing, not even "unreachable"
    const std::string silent = std::to_string(bound_silent.port());
    Scratch d;
    const std::string why = d.mount("full", 0, "size=16k");
    ASSERT_EQ(why, "");
    const std::string earlier = d.path("full/run.json");
    std::ofstream(earlier) << "{\"from\": \"an earlier run\"}\n";
    // About 150 bytes a probe: more than the file system holds.
    const auto r = run_program("reboundcli", {"-p", silent, "-t", "0.001", "-i", "0", "-c", "300",
                                              "-q", "--json", earlier});
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.err.find("--json: cannot write"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(earlier), "{\"from\": \"an earlier run\"}\n");
    EXPECT_EQ(d.names("full"), std::vector<std::string>{"run.json"});

    for (const std::string& refused : {std::string("-"), d.path("full")}) {
        const auto r = run_program(
            "reboundcli", {"-p", silent, "-c", "1", "--json", earlier, "--openmetrics", refused});
        EXPECT_EQ(r.exit_code, 2) << refused;
        EXPECT_EQ(read_file(earlier), "{\"from\": \"an earlier run\"}\n") << refused;
    }
    EXPECT_EQ(d.names("full"), std::vector<std::string>{"run.json"});
}

} // namespace
