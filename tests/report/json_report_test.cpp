// The JSON document written as the run goes: a probe's record appears once the probe has left
// the late window, holding every echo charged to it until then, in the text json::dump() gives.
#include "report/json_report.h"
#include "tests/report/synthetic_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

using json = nlohmann::json;

constexpr size_t kWindow = 4;

// Feeds events to a json_report writing into memory.
class Feed {
  public:
    Feed()
        : out_(open_memstream(&text_, &size_)),
          report_(collector_, testsupport::sample_description(), out_) {
        sockaddr_in responder{};
        responder.sin_family = AF_INET;
        responder.sin_port = htons(33333);
        responder.sin_addr.s_addr = htonl(0x7f000001);
        const rebound_run_start start{"127.0.0.1", "33333", responder, 1781069532.25, 100, kWindow};
        collector_.run_started(start);
        report_.run_started(start);
    }
    ~Feed() {
        std::fclose(out_);
        std::free(text_);
    }
    void sent(int32_t seq) {
        const unsigned char header[16] = {};
        const rebound_probe_sent e{seq, header, 64, 64, 0, 20e-6, 0.001 * seq, {}};
        collector_.probe_sent(e);
        report_.probe_sent(e);
    }
    void echo(int32_t seq, double round_trip, uint8_t marks = 0) {
        const rebound_echo e{1, seq, seq, {}, 64, round_trip, true, marks, {}};
        collector_.echo_received(e);
        report_.echo_received(e);
    }
    void end() {
        const rebound_run_end e{rebound_end::normal, nullptr, 1781069532.25, 1781069533.0};
        collector_.run_ended(e);
        report_.run_ended(e);
    }
    // The records written so far, one per line, as written.
    std::vector<std::string> record_lines() {
        std::fflush(out_);
        std::vector<std::string> lines;
        std::istringstream in(std::string(text_, size_));
        for (std::string line; std::getline(in, line);) {
            const size_t at = line.find("{\"seq\":");
            if (at == std::string::npos) continue;
            if (line.back() == ',') line.pop_back();
            lines.push_back(line.substr(at));
        }
        return lines;
    }
    std::string text() {
        std::fflush(out_);
        return std::string(text_, size_);
    }

  private:
    char* text_ = nullptr;
    size_t size_ = 0;
    std::FILE* out_;
    summary_collector collector_;
    json_report report_;
};

TEST(JsonReport, RecordsLeaveWithTheLateWindowHoldingEveryEchoOfTheirProbe) {
    Feed f;
    f.sent(0);
    f.echo(0, 0.001);
    for (int32_t seq = 1; seq <= 4; ++seq)
        f.sent(seq);                        // probe 1 unanswered so far
    EXPECT_EQ(f.record_lines().size(), 1u); // probe 0 has left the window of 4
    f.echo(1, 0.5, REBOUND_ECHO_LATE);      // still inside: charged to probe 1
    f.echo(2, 0.002, REBOUND_ECHO_OUT_OF_ORDER);
    f.echo(2, 0.003, REBOUND_ECHO_DUPLICATE);
    f.sent(5);
    ASSERT_EQ(f.record_lines().size(), 2u);
    EXPECT_EQ(f.record_lines()[1], "{\"seq\":1,\"send_offset\":0.001,\"send_duration\":2e-05,"
                                   "\"sent\":true,\"round_trip\":0.5,\"late\":true,"
                                   "\"duplicates\":0,\"out_of_order\":false}");
    f.echo(2, 0.004, REBOUND_ECHO_DUPLICATE); // its last moment in the window
    f.sent(6);
    f.end();

    const json d = json::parse(f.text()); // throws, failing the test, when invalid
    const json& probes = d["probes"];
    ASSERT_EQ(probes.size(), 7u);
    for (size_t seq = 0; seq < probes.size(); ++seq)
        EXPECT_EQ(probes[seq]["seq"], seq);
    EXPECT_EQ(probes[2]["round_trip"], 0.002);
    EXPECT_EQ(probes[2]["duplicates"], 2);
    EXPECT_EQ(probes[2]["out_of_order"], true);
    EXPECT_TRUE(probes[6]["round_trip"].is_null());
    EXPECT_EQ(d["end"], "normal");
    // Each record is the very text json::dump() gives it, one to a line.
    for (const std::string& line : f.record_lines())
        EXPECT_EQ(line, nlohmann::ordered_json::parse(line).dump());
}

} // namespace
