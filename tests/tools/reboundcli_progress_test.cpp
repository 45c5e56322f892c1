// reboundcli's progress bar: drawn on standard error when that is a terminal and standard
// output is not, and never anywhere on standard output, whose lines stay those of a run
// without a terminal.
#include "tests/support/child_process.h"
#include "tests/support/read_file.h"
#include "tests/support/udp_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace testsupport;

struct TerminalRun {
    int exit_code = -1;
    std::string out;      // standard output when it went to a file
    std::string terminal; // everything written to the terminal
};

// Runs reboundcli with standard error on a new pseudo-terminal; standard output goes to a
// file or, with `stdout_on_terminal`, to the same terminal.
TerminalRun run_with_terminal(const std::vector<std::string>& args, bool stdout_on_terminal) {
    TerminalRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    char slave_name[128] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, slave_name, sizeof slave_name) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        if (master >= 0) ::close(master);
        return run;
    }
    std::string out_path = "/tmp/rebound-cliout-XXXXXX";
    const int out_fd = ::mkstemp(out_path.data());

    const std::string path = program_path("reboundcli");
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int slave = ::open(slave_name, O_RDWR | O_NOCTTY);
        ::dup2(slave, 2);
        ::dup2(stdout_on_terminal ? slave : out_fd, 1);
        ::close(master);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out_fd);

    // Read until every copy of the terminal's other end is closed (EIO), so the program never
    // blocks on a full terminal. The limit only guards against a hung program.
    char buf[4096];
    for (int idle_polls = 0; idle_polls < 600;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) == 0) {
            ++idle_polls;
            continue;
        }
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;
        run.terminal.append(buf, size_t(n));
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ::close(master);
    if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    run.out = read_file(out_path);
    ::unlink(out_path.c_str());
    return run;
}

// The lines with every number replaced by '#': time stamps and times differ between runs,
// the text around them must not.
std::vector<std::string> shape(const std::string& out) {
    std::vector<std::string> lines;
    for (const auto& line : split_lines(out)) {
        std::string shaped;
        for (char c : line) {
            const bool digit = c >= '0' && c <= '9';
            if (!digit)
                shaped += c;
            else if (shaped.empty() || shaped.back() != '#')
                shaped += '#';
        }
        lines.push_back(shaped);
    }
    return lines;
}

class CliProgress : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = free_udp_port();
        ASSERT_TRUE(responder_.start(program_path("reboundsrv"),
                                     {"-h", "127.0.0.1", "-p", std::to_string(port_)}));
        // Ready once it answers a probe.
        UdpPeer peer;
        bool answered = false;
        for (int k = 0; k < 100 && !answered; ++k) {
            peer.send_to(port_, probe(0, 64, 64, 64));
            answered = peer.receive(std::chrono::milliseconds(100)).has_value();
        }
        ASSERT_TRUE(answered) << "reboundsrv does not answer";
    }
    void TearDown() override {
        responder_.signal(SIGTERM);
        responder_.wait();
    }

    std::vector<std::string> args() const {
        return {"-h", "127.0.0.1", "-p", std::to_string(port_), "-t",
                "5",  "-c",        "5",  "--sendsize=64",       "--recvsize=64"};
    }

    int port_ = 0;
    ChildProcess responder_;
};

TEST_F(CliProgress, BarOnTerminalLeavesStandardOutputAsWithout) {
    const RunResult plain = run_program("reboundcli", args());
    ASSERT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_EQ(plain.err, ""); // no terminal, no bar

    const TerminalRun run = run_with_terminal(args(), false);
    ASSERT_EQ(run.exit_code, 0) << run.terminal;
    // The terminal shows the last frame, complete, and the line is ended after it.
    const std::string last = "reboundcli 100% [ " + std::string(40, '=') + " ]  5/5\r\n";
    EXPECT_NE(run.terminal.find("\b\breboundcli "), std::string::npos) << run.terminal;
    ASSERT_GE(run.terminal.size(), last.size());
    EXPECT_EQ(run.terminal.substr(run.terminal.size() - last.size()), last) << run.terminal;

    // Standard output holds nothing of the bar and the same lines as the plain run.
    EXPECT_EQ(run.out.find('\b'), std::string::npos);
    EXPECT_EQ(run.out.find("reboundcli "), std::string::npos);
    EXPECT_EQ(shape(run.out), shape(plain.out));
    EXPECT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '\n');
}

TEST_F(CliProgress, RunLimitedByTimeShowsTheClock) {
    std::vector<std::string> a = args();
    a.erase(a.begin() + 6, a.begin() + 8); // no -c: the duration alone limits the run
    a.insert(a.end(), {"-d", "0.3"});
    const TerminalRun run = run_with_terminal(a, false);
    ASSERT_EQ(run.exit_code, 0) << run.terminal;
    // The last frame is full once the time is up, and tells probes and seconds.
    const std::regex last(R"(reboundcli 100% \[ =+ \]  [1-9][0-9]* probes, [0-9.]+/0\.3 s\r\n$)");
    EXPECT_TRUE(std::regex_search(run.terminal, last)) << run.terminal;
    EXPECT_EQ(run.out.find('\b'), std::string::npos);
}

TEST_F(CliProgress, SummaryOnTheTerminalStartsOnALineOfItsOwn) {
    std::vector<std::string> a = args();
    a.insert(a.end(), {"--json", "-", "-s"}); // the document on standard output, the summary not
    const TerminalRun run = run_with_terminal(a, false);
    ASSERT_EQ(run.exit_code, 0) << run.terminal;
    const std::string after_bar = "]  5/5\r\n--- 127.0.0.1:" + std::to_string(port_);
    EXPECT_NE(run.terminal.find(after_bar), std::string::npos) << run.terminal;
    EXPECT_EQ(run.out.find("--- "), std::string::npos); // standard output holds the JSON only
}

TEST_F(CliProgress, NoBarWhenStandardOutputSharesTheTerminal) {
    const TerminalRun run = run_with_terminal(args(), true);
    ASSERT_EQ(run.exit_code, 0) << run.terminal;
    EXPECT_NE(run.terminal.find("rebound_connect(): sendpkts=5\r\n"), std::string::npos)
        << run.terminal;
    EXPECT_EQ(run.terminal.find('\b'), std::string::npos) << run.terminal;
    EXPECT_EQ(run.terminal.find("reboundcli "), std::string::npos) << run.terminal;
}

} // namespace
