// rebound_exporter --sched-priority: the probing thread, and only it, runs at the real-time
// priority asked for while probing goes on; where the system does not allow it, the exporter
// refuses to run and says what it needs, instead of probing at an ordinary priority unnoticed.
#include "tests/support/child_process.h"
#include "tests/support/exporter_process.h"
#include "tests/support/proc_stat.h"
#include "tests/support/responder_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

constexpr int kPriority = 10;
constexpr const char* kSetpriv = "/usr/bin/setpriv";

struct thread_scheduling {
    std::string name;
    int policy = -1;
    int priority = -1;
};

// The name, policy and real-time priority of every thread of `pid` (from /proc).
std::vector<thread_scheduling> threads_of(int pid) {
    std::vector<thread_scheduling> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        constexpr int kRtPriorityField = 40, kPolicyField = 41;
        thread_scheduling t;
        std::getline(std::ifstream(task.path() / "comm"), t.name);
        const std::string stat = task.path() / "stat";
        const std::string priority = stat_field(stat, kRtPriorityField);
        const std::string policy = stat_field(stat, kPolicyField);
        if (!priority.empty() && !policy.empty()) {
            t.priority = std::stoi(priority);
            t.policy = std::stoi(policy);
        }
        threads.push_back(t);
    }
    return threads;
}

// Whether this test may give a thread of its own a real-time priority: the exporter it starts
// then may too.
bool may_run_realtime() {
    std::thread probe([] {});
    sched_param param{};
    param.sched_priority = kPriority;
    const bool allowed = pthread_setschedparam(probe.native_handle(), SCHED_FIFO, &param) == 0;
    probe.join();
    return allowed;
}

const std::string kRefusal =
    "cannot run the probing thread at real-time priority 10: Operation not permitted (it needs "
    "CAP_SYS_NICE or an RLIMIT_RTPRIO of at least 10)";

} // namespace

TEST(ExporterScheduling, TheProbingThreadAloneRunsAtTheRealTimePriority) {
    ResponderProcess responder;
    ASSERT_TRUE(responder.answering());
    const std::string target = "127.0.0.1:" + std::to_string(responder.port());
    ExporterProcess exporter({"--target", target, "--period", "0.01", "--sched-priority",
                              std::to_string(kPriority)});
    if (!may_run_realtime()) {
        ASSERT_TRUE(exporter.process().wait());
        EXPECT_EQ(exporter.process().exit_code(), 1);
        EXPECT_NE(exporter.process().err().find(kRefusal), std::string::npos)
            << exporter.process().err();
        return;
    }
    ASSERT_TRUE(exporter.serving()) << exporter.process().err();
    int realtime = 0;
    for (const thread_scheduling& t : threads_of(exporter.process().pid())) {
        SCOPED_TRACE(t.name);
        const bool probing = t.name == "probing";
        EXPECT_EQ(t.policy, probing ? SCHED_FIFO : SCHED_OTHER);
        EXPECT_EQ(t.priority, probing ? kPriority : 0);
        realtime += probing;
    }
    EXPECT_EQ(realtime, 1);
    const std::string labels = "target=\"" + target + "\",name=\"" + target + "\"";
    exporter.scrape_until([&](const std::string& s) {
        return sample_value(s, "rebound_echoes_total", labels) >= 10;
    });
    EXPECT_GE(sample_value(exporter.scrape(), "rebound_echoes_total", labels), 10);
}

// Without CAP_SYS_NICE (and with no RLIMIT_RTPRIO) the priority cannot be had: the exporter
// says so and ends before it serves anything.
TEST(ExporterScheduling, WithoutThePrivilegeTheExporterRefusesToRun) {
    if (::geteuid() != 0 || ::access(kSetpriv, X_OK) != 0)
        GTEST_SKIP() << "needs root and setpriv (util-linux) to drop CAP_SYS_NICE";
    ChildProcess p;
    ASSERT_TRUE(p.start(kSetpriv, {"--bounding-set=-sys_nice", "--inh-caps=-sys_nice", "--",
                                   program_path("rebound_exporter"), "--listen", "127.0.0.1:0",
                                   "--target", "127.0.0.1", "--sched-priority",
                                   std::to_string(kPriority)}));
    ASSERT_TRUE(p.wait());
    if (p.err().rfind("setpriv:", 0) == 0) GTEST_SKIP() << "setpriv could not drop it: " << p.err();
    EXPECT_EQ(p.exit_code(), 1);
    EXPECT_NE(p.err().find(kRefusal), std::string::npos) << p.err();
    EXPECT_EQ(p.out().find("serving"), std::string::npos);
}
