// reboundcli ended from outside while its output misbehaves: a stop request (SIGINT, SIGTERM,
// SIGHUP) while standard output is a pipe nobody reads, SIGPIPE from a reader that left
// (`| head -1`), a standard output that fails or is closed, and SIGKILL, which must leave the
// report files of an earlier run as they were. The reports are checked after each.
#include "tests/support/child_process.h"
#include "tests/support/fixture_responder.h"
#include "tests/support/openmetrics_parse.h"
#include "tests/support/read_file.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
using json = nlohmann::json;

namespace {

// Far more probes than a test waits for: every run here ends by a signal or a failure.
constexpr const char* kEndless = "10000000";
// The smallest pipe the kernel makes: it fills after a few probes' lines.
constexpr int kSmallPipe = 4096;
constexpr auto kGenerousEnd = std::chrono::seconds(20); // the end of a stopped run, at most

FixtureResponder::Script answer_all() {
    return [](int, const std::vector<uint8_t>& p) {
        return std::vector<std::vector<uint8_t>>{proper_echo(p)};
    };
}

// A pipe whose ends the test holds; the child gets only what it is given.
struct Pipe {
    int read_end = -1, write_end = -1;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return;
        read_end = ends[0];
        write_end = ends[1];
        ::fcntl(write_end, F_SETPIPE_SZ, kSmallPipe);
    }
    ~Pipe() {
        close_read();
        close_write();
    }
    void close_read() {
        if (read_end >= 0) ::close(read_end);
        read_end = -1;
    }
    void close_write() {
        if (write_end >= 0) ::close(write_end);
        write_end = -1;
    }
    // Waits until the pipe holds all it can: its writer is then blocked, or about to be.
    bool wait_full(std::chrono::seconds limit) const {
        const int capacity = ::fcntl(read_end, F_GETPIPE_SZ);
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int held = 0;
            if (::ioctl(read_end, FIONREAD, &held) == 0 && held >= capacity) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Reads up to the first line end, as `head -1` does.
    std::string first_line() const {
        std::string text;
        char c;
        while (::read(read_end, &c, 1) == 1 && c != '\n')
            text += c;
        return text;
    }
};

// The report files of one run, removed with it.
struct Reports {
    std::string json_path, metrics_path;
    Reports() {
        char pattern[] = "/tmp/rebound-signals-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd >= 0) ::close(fd);
        json_path = pattern;
        metrics_path = json_path + ".prom";
    }
    ~Reports() {
        ::unlink(json_path.c_str());
        ::unlink(metrics_path.c_str());
    }
    std::vector<std::string> args() const {
        return {"--json", json_path, "--openmetrics", metrics_path};
    }
    // The document is whole: valid JSON, ended as `end` says, a record for every probe sent.
    void expect_complete(const char* end) const {
        const json d = json::parse(read_file(json_path), nullptr, false);
        ASSERT_FALSE(d.is_discarded()) << read_file(json_path).substr(0, 2000);
        EXPECT_EQ(d["end"], end);
        EXPECT_EQ(d["probes"].size(), d["summary"]["probes_sent"].get<size_t>());
        const MetricsReading m = parse_openmetrics_file(metrics_path);
        EXPECT_TRUE(m.parsed) << m.error;
    }
};

std::vector<std::string> args_for(int port, std::vector<std::string> extra) {
    std::vector<std::string> args = {"-p", std::to_string(port), "-c",           kEndless, "-i",
                                     "0",  "--sendsize=64",      "--recvsize=64"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// A stop request is answered while standard output takes nothing, at any depth of the run:
// the run ends with 128+N, and the reports it could write are whole.
TEST(CliSignals, StopWhileStandardOutputIsAPipeNobodyReads) {
    FixtureResponder responder(answer_all());
    struct Case {
        int sig;
        bool json_on_stdout; // the document is what blocks, the metrics file is still written
    };
    const Case cases[] = {
        {SIGINT, false},
        {SIGTERM, false},
        {SIGHUP, false},
        {SIGTERM, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + (c.json_on_stdout ? ", --json -" : ""));
        Reports reports;
        std::vector<std::string> extra = reports.args();
        if (c.json_on_stdout) extra = {"--json", "-", "--openmetrics", reports.metrics_path};
        Pipe out;
        ChildProcess p;
        ASSERT_TRUE(
            p.start(program_path("reboundcli"), args_for(responder.port(), extra), out.write_end));
        out.close_write();
        ASSERT_TRUE(out.wait_full(std::chrono::seconds(60))) << p.err();
        p.signal(c.sig);
        ASSERT_TRUE(p.wait(kGenerousEnd)) << "still running after the stop request";
        EXPECT_EQ(p.exit_code(), 128 + c.sig) << p.err();
        if (c.json_on_stdout) {
            EXPECT_TRUE(parse_openmetrics_file(reports.metrics_path).parsed);
        } else {
            reports.expect_complete("stopped");
        }
    }
}

// A stop while a wait looks for its echo without sleeping (unpaced runs do, for up to
// --busy-wait) ends the run at once, not at the end of the wait.
TEST(CliSignals, StopDuringABusyWait) {
    UdpPeer silent;
    Reports reports;
    std::vector<std::string> extra = reports.args();
    for (const char* a : {"-t", "60", "--busy-wait", "60"})
        extra.push_back(a);
    ChildProcess p;
    ASSERT_TRUE(p.start(program_path("reboundcli"), args_for(silent.port(), extra)));
    ASSERT_TRUE(silent.receive(std::chrono::seconds(30))) << p.err(); // the wait has begun
    p.signal(SIGINT);
    ASSERT_TRUE(p.wait(kGenerousEnd)) << "still looking for the echo after the stop request";
    EXPECT_EQ(p.exit_code(), 128 + SIGINT) << p.err();
    reports.expect_complete("stopped");
}

// `reboundcli ... | head -1`: the reader leaves, the next write raises SIGPIPE, and the run
// ends as on any stop, its reports whole.
TEST(CliSignals, ReaderThatLeavesStopsTheRunWithItsReports) {
    FixtureResponder responder(answer_all());
    Reports reports;
    Pipe out;
    ChildProcess p;
    ASSERT_TRUE(p.start(program_path("reboundcli"), args_for(responder.port(), reports.args()),
                        out.write_end));
    out.close_write();
    EXPECT_NE(out.first_line().find("rebound_connect(): connaddr="), std::string::npos);
    out.close_read();
    ASSERT_TRUE(p.wait(kGenerousEnd));
    EXPECT_EQ(p.exit_code(), 128 + SIGPIPE) << p.err();
    reports.expect_complete("stopped");
}

// A standard output that fails (a full device) or is closed ends the run with exit status 1
// and says so; the reports are still written, and no event line lands in a report file.
TEST(CliSignals, FailedStandardOutputEndsTheRunWithItsReports) {
    FixtureResponder responder(answer_all());
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    struct Case {
        const char* name;
        int output;
        bool quiet; // only the summary, at the end, goes to standard output
        const char* message;
        const char* end; // of the run, in the document
    };
    const Case cases[] = {
        {"/dev/full, event lines", full, false, "standard output: No space left on device",
         "early"},
        {"/dev/full, -q", full, true, "standard output: No space left on device", "normal"},
        {"closed, event lines", ChildProcess::kClosedOutput, false,
         "standard output: Bad file descriptor", "early"},
        // Known to be gone from the start: the run ends after its first round trip.
        {"closed, -q", ChildProcess::kClosedOutput, true, "standard output: Bad file descriptor",
         "early"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reports reports;
        std::vector<std::string> args = {"-p",
                                         std::to_string(responder.port()),
                                         "-c",
                                         "50",
                                         "-i",
                                         "0",
                                         "--sendsize=64",
                                         "--recvsize=64"};
        if (c.quiet) args.push_back("-q");
        for (const auto& a : reports.args())
            args.push_back(a);
        ChildProcess p;
        ASSERT_TRUE(p.start(program_path("reboundcli"), args, c.output));
        ASSERT_TRUE(p.wait(kGenerousEnd));
        EXPECT_EQ(p.exit_code(), 1);
        EXPECT_NE(p.err().find(c.message), std::string::npos) << p.err();
        reports.expect_complete(c.end);
    }
    ::close(full);
}

// SIGKILL cannot be answered: the files of the earlier run stay as they were, since a report
// only ever replaces its file once it is whole.
TEST(CliSignals, KilledRunLeavesTheEarlierReports) {
    FixtureResponder responder(answer_all());
    Reports reports;
    const std::string earlier_json = "{\"from\": \"an earlier run\"}\n";
    const std::string earlier_metrics = "# an earlier run\n# EOF\n";
    std::ofstream(reports.json_path) << earlier_json;
    std::ofstream(reports.metrics_path) << earlier_metrics;
    ChildProcess p;
    ASSERT_TRUE(p.start(program_path("reboundcli"), args_for(responder.port(), reports.args())));
    ASSERT_TRUE(p.wait_for_output("udp_recv(127.0.0.1:")); // the run is under way
    p.signal(SIGKILL);
    ASSERT_TRUE(p.wait());
    EXPECT_EQ(p.term_signal(), SIGKILL);
    EXPECT_EQ(read_file(reports.json_path), earlier_json);
    EXPECT_EQ(read_file(reports.metrics_path), earlier_metrics);
    // What the killed run was writing stays beside it, under a name no reader takes for it.
    const std::string left = reports.json_path + ".tmp." + std::to_string(p.pid());
    EXPECT_EQ(::access(left.c_str(), F_OK), 0);
    ::unlink(left.c_str());
}

} // namespace
