// A long unpaced run keeps its memory: per-probe state lives in a fixed window and the
// statistics in bounded stores, so doubling a run past a million probes leaves its peak
// resident size where it was.
#include "tests/support/child_process.h"
#include "tests/support/responder_process.h"

#include <gtest/gtest.h>

#include <string>

using namespace testsupport;

namespace {

// Past the point where the round-trip store turns exact values into its bounded histogram
// (2^20 values), so both runs hold the statistics' largest form.
constexpr int kShortRun = 1'100'000;
// What is allowed to differ between the two peaks: allocator slack, never per-probe state (a
// byte per probe would already be a megabyte).
constexpr long kSlackKib = 1024;

RunResult unpaced(int port, int count) {
    return run_program("reboundcli",
                       {"-p", std::to_string(port), "-i", "0", "-t", "1", "-q", "-c",
                        std::to_string(count), "--sendsize", "16", "--recvsize", "16"},
                       std::chrono::minutes(10));
}

TEST(LongRun, DoublingAnUnpacedRunPastAMillionProbesKeepsItsPeakMemory) {
    ResponderProcess responder({"-q"}); // millions of lines would only cost disk and time
    ASSERT_TRUE(responder.answering());
    const RunResult shorter = unpaced(responder.port(), kShortRun);
    const RunResult longer = unpaced(responder.port(), 2 * kShortRun);
    ASSERT_EQ(shorter.exit_code, 0) << shorter.err;
    ASSERT_EQ(longer.exit_code, 0) << longer.err;
    EXPECT_NE(longer.out.find("probes sent " + std::to_string(2 * kShortRun)), std::string::npos)
        << longer.out;
    EXPECT_LE(longer.peak_rss_kib, shorter.peak_rss_kib + kSlackKib)
        << "peak " << shorter.peak_rss_kib << " KiB after " << kShortRun << " probes, "
        << longer.peak_rss_kib << " KiB after " << 2 * kShortRun;
}

} // namespace
