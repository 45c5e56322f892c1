// A long unpaced run keeps its memory: per-probe state lives in a fixed window and the
// statistics in bounded stores, so doubling a run past a million probes leaves its peak
// resident size where it was; with --json the records go to the file as the run goes.
#include "tests/support/child_process.h"
#include "tests/support/responder_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <unistd.h>

using namespace testsupport;

namespace {

// Past the point where the round-trip store turns exact values into its bounded histogram
// (2^20 values), so both runs hold the statistics' largest form.
constexpr int kShortRun = 1'100'000;
// What is allowed to differ between the two peaks: allocator slack, never per-probe state (a
// byte per probe would already be a megabyte).
constexpr long kSlackKib = 1024;

RunResult unpaced(int port, int count, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {
        "-p", std::to_string(port),  "-i",         "0",  "-t",         "1", "-q",
        "-c", std::to_string(count), "--sendsize", "16", "--recvsize", "16"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program("reboundcli", args, std::chrono::minutes(10));
}

// Reads a JSON document without holding it: checks that it is valid and that its probes are
// numbered 0, 1, 2, ... without a gap.
class ProbeCounter : public nlohmann::json_sax<nlohmann::json> {
  public:
    int64_t probes = 0;
    bool in_order = true;

    bool key(string_t& k) override {
        seq_next_ = k == "seq";
        return true;
    }
    bool number_unsigned(number_unsigned_t v) override {
        if (seq_next_) in_order = in_order && int64_t(v) == probes++;
        seq_next_ = false;
        return true;
    }
    bool null() override { return done(); }
    bool boolean(bool) override { return done(); }
    bool number_integer(number_integer_t) override { return done(); }
    bool number_float(number_float_t, const string_t&) override { return done(); }
    bool string(string_t&) override { return done(); }
    bool binary(binary_t&) override { return done(); }
    bool start_object(std::size_t) override { return done(); }
    bool end_object() override { return done(); }
    bool start_array(std::size_t) override { return done(); }
    bool end_array() override { return done(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    bool done() {
        seq_next_ = false;
        return true;
    }
    bool seq_next_ = false;
};

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

// Below the store's switch to its histogram, so the statistics cost the same with and without
// --json; holding a record per probe, as the document once did, would cost 12 MB here.
constexpr int kJsonRun = 300'000;
// The records of one late window (65536 of about 40 bytes) and the file's buffer, with room.
constexpr long kJsonWindowKib = 8 * 1024;

TEST(LongRun, JsonRunHoldsOneLateWindowAndWritesEveryProbe) {
    ResponderProcess responder({"-q"});
    ASSERT_TRUE(responder.answering());
    char path[] = "/tmp/rebound-long-json-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const RunResult plain = unpaced(responder.port(), kJsonRun);
    const RunResult with_json = unpaced(responder.port(), kJsonRun, {"--json", path});
    ASSERT_EQ(plain.exit_code, 0) << plain.err;
    ASSERT_EQ(with_json.exit_code, 0) << with_json.err;
    EXPECT_LE(with_json.peak_rss_kib, plain.peak_rss_kib + kJsonWindowKib)
        << "peak " << plain.peak_rss_kib << " KiB without --json, " << with_json.peak_rss_kib
        << " KiB with it";

    ProbeCounter counter;
    std::ifstream document(path);
    EXPECT_TRUE(nlohmann::json::sax_parse(document, &counter)) << "the document does not parse";
    EXPECT_EQ(counter.probes, kJsonRun);
    EXPECT_TRUE(counter.in_order);
    ::unlink(path);
}

} // namespace
