// rebound_exporter's target file: a good file and each kind of fault, said with the file and
// line, refused before anything is served. Host names resolve in a network namespace of the
// test's own.
#include "tests/support/child_process.h"
#include "tests/support/private_network_suite.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace testsupport;

namespace {

class ExporterConfig : public PrivateNetworkSuite<ExporterConfig> {
  public:
    static constexpr const char* kHosts = "127.0.0.1 localhost\n"
                                          "127.0.9.1 db.rebound.test\n";
};

} // namespace

TEST_F(ExporterConfig, AGoodFileAndEveryKindOfFault) {
    struct config_case {
        const char* name;
        const char* text;
        int status;
        const char* says; // after "FILE" on standard error (or standard output at 0)
    };
    const config_case cases[] = {
        {"good: defaults, names, labels, buckets",
         "defaults:\n  period: 0.5\n  labels: {site: lab}\ntargets:\n  - name: db\n"
         "    host: db.rebound.test\n    buckets: [0.001, 0.01]\n  - host: 127.0.0.2\n"
         "    port: 4000\n    dscp: 46\n",
         0, "db db.rebound.test:33333 period 0.5 s\n127.0.0.2:4000 127.0.0.2:4000 period 0.5 s\n"},
        {"empty file: no targets yet", "", 0, "0 targets"},
        {"not YAML", "targets:\n  - {host: 127.0.0.1\n", 1, ":3: end of map flow not found"},
        {"unknown key", "targets:\n  - host: 127.0.0.1\n    colour: red\n", 1,
         ":3: unknown key 'colour'"},
        {"unknown top-level key", "target:\n  - host: 127.0.0.1\n", 1, ":1: unknown key 'target'"},
        {"duplicate name", "targets:\n  - name: a\n    host: 127.0.0.1\n  - name: a\n"
         "    host: 127.0.0.2\n", 1, ":4: duplicate target: the name 'a' is already used at "},
        {"duplicate host and port", "targets:\n  - name: a\n    host: 127.0.0.1\n  - name: b\n"
         "    host: 127.0.0.1\n", 1, ":4: duplicate target: '127.0.0.1:33333' is already probed"},
        {"unresolvable host", "targets:\n  - host: 127.0.0.1\n  - host: missing.rebound.test\n",
         1, ":3: target 'missing.rebound.test:33333': "},
        {"host text no name has", "targets:\n  - host: \"a b\"\n", 1,
         ":2: host 'a b' holds characters"},
        {"bad number", "defaults:\n  period: -1\n", 1, ":2: 'period' must be a number of seconds"},
        {"port out of range", "targets:\n  - host: 127.0.0.1\n    port: 70000\n", 1,
         ":3: 'port' must be a whole number from 1 to 65535"},
        {"reserved label", "targets:\n  - host: 127.0.0.1\n    labels: {name: x}\n", 1,
         ":3: label name 'name' is not allowed"},
        {"falling buckets", "targets:\n  - host: 127.0.0.1\n    buckets: [0.1, 0.01]\n", 1,
         ":3: 'buckets' must rise"},
        {"targets not a list", "targets: 5\n", 1, ":1: 'targets' must be a list"},
    };
    TempDir dir;
    const std::string file = dir.path() + "/targets.yml";
    for (const config_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(file, std::ios::trunc) << c.text;
        const RunResult r = run_program("rebound_exporter", {"--check-config", "--config", file});
        EXPECT_EQ(r.exit_code, c.status) << r.err;
        if (c.status == 0) {
            EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
            EXPECT_EQ(r.err, "");
        } else {
            // The file and line first, then what is wrong, on one line.
            EXPECT_EQ(r.err.rfind("rebound_exporter: " + file + c.says, 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        }
    }
}

TEST_F(ExporterConfig, AFaultyFileOrInputIsRefusedBeforeServing) {
    TempDir dir;
    const std::string file = dir.path() + "/targets.yml";
    std::ofstream(file) << "targets:\n  - host: 127.0.0.1\n    colour: red\n";
    TcpListener taken; // a port someone else serves
    const std::string taken_address = "127.0.0.1:" + std::to_string(taken.port());
    struct refusal {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const refusal cases[] = {
        {{"--config", file}, 1, file + ":3: unknown key 'colour'"},
        {{"--config", "/dev/zero"}, 1, "'/dev/zero': not a regular file"},
        {{"--config", dir.path() + "/none.yml"}, 1, "cannot read the configuration"},
        {{"--target", "missing.rebound.test"}, 1, "--target 'missing.rebound.test': target"},
        {{"--target", "127.0.0.1:0"}, 1, "the port must be a number from 1 to 65535"},
        {{"--target", "[::1"}, 1, "an IPv6 address in brackets needs its ']'"},
        {{"--target", "[::1]7"}, 1, "only ':PORT' may follow the ']'"},
        {{"--target", "[::1]:x"}, 1, "the port must be a number from 1 to 65535"},
        {{"--target", "::1::"}, 1, "--target '::1::'"},
        {{"--target", "fe80::1"}, 1, "--target 'fe80::1'"},
        {{"--target", "127.0.0.1", "--target", "127.0.0.1:33333"}, 1, "duplicate target"},
        {{"--target", "127.0.0.1", "--listen", "localhost:80"}, 2, "is not ADDRESS:PORT"},
        {{"--target", "127.0.0.1", "--listen", "127.0.0.1"}, 2, "is not ADDRESS:PORT"},
        {{"--target", "127.0.0.1", "--listen", "[::1]:80"}, 2, "serves IPv4 only"},
        {{}, 2, "no targets: give --target or --config"},
        {{"--target", "127.0.0.1", "--sched-priority", "0"}, 2,
         "--sched-priority: '0' is not a whole number from 1 to 99"},
        {{"--target", "127.0.0.1", "--sched-priority", "100"}, 2, "--sched-priority: '100'"},
        {{"--target", "127.0.0.1", "--listen", taken_address}, 1,
         "cannot serve HTTP on " + taken_address},
    };
    for (const refusal& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args{"--listen", "127.0.0.1:0"};
        if (c.status == 2 || c.says.find("cannot serve") != std::string::npos) args.clear();
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run_program("rebound_exporter", args);
        EXPECT_EQ(r.exit_code, c.status);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("serving"), std::string::npos); // nothing was served
    }
}
