// rebound_exporter as a program: what a scrape shows of real responders, every scrape accepted
// by promtool or the OpenMetrics parser, the other pages, and SIGHUP with a good and a bad file.
#include "tests/support/delay_line.h"
#include "tests/support/exporter_process.h"
#include "tests/support/responder_process.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

std::string labels_of(const std::string& name, int port, const std::string& host = "127.0.0.1") {
    return "target=\"" + host + ":" + std::to_string(port) + "\",name=\"" + name + "\"";
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool wait_for_error_text(ChildProcess& p, const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < end) {
        if (p.err().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(5ms); // poll interval
    }
    return false;
}

class Exporter : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!have_promtool())
            GTEST_SKIP() << "promtool (Debian's prometheus package) is not installed: "
                            "scripts/install-deps.sh installs it";
    }
};

} // namespace

TEST_F(Exporter, ScrapesShowTheTargetsFiguresInBothFormats) {
    ResponderProcess responder;
    ASSERT_TRUE(responder.answering());
    const std::string target = "127.0.0.1:" + std::to_string(responder.port());
    ExporterProcess exporter({"--target", target, "--period", "0.01"});
    ASSERT_TRUE(exporter.serving()) << exporter.process().err();
    const std::string labels = labels_of(target, responder.port());

    const std::string text = exporter.scrape_until([&](const std::string& s) {
        return sample_value(s, "rebound_echoes_total", labels) >= 10;
    });
    std::string lint;
    exporter.scrape(&lint);
    EXPECT_EQ(lint, "");
    const double echoes = sample_value(text, "rebound_echoes_total", labels);
    ASSERT_GE(echoes, 10);
    EXPECT_GE(sample_value(text, "rebound_probes_sent_total", labels), echoes);
    // One count of the round trip per answered probe, the last bucket holding them all; a
    // reboundsrv returns its stamps, so the split histograms are there too.
    EXPECT_EQ(sample_value(text, "rebound_round_trip_seconds_count", labels), echoes);
    EXPECT_EQ(sample_value(text, "rebound_round_trip_seconds_bucket", labels + ",le=\"+Inf\""),
              echoes);
    EXPECT_EQ(sample_value(text, "rebound_echoes_stamped_total", labels), echoes);
    EXPECT_EQ(sample_value(text, "rebound_network_round_trip_seconds_count", labels), echoes);
    EXPECT_GE(sample_value(text, "rebound_send_lateness_seconds", labels), 0);
    EXPECT_EQ(sample_value(text, "rebound_exporter_targets"), 1);
    EXPECT_GT(sample_value(text, "process_resident_memory_bytes"), 0);

    std::string verdict;
    const std::string om = exporter.scrape_openmetrics(&verdict);
    EXPECT_EQ(verdict, "");
    EXPECT_NE(om.find("# TYPE rebound_probes_sent counter\n"), std::string::npos);
    EXPECT_TRUE(om.size() > 6 && om.compare(om.size() - 6, 6, "# EOF\n") == 0);

    struct page {
        const char* method;
        const char* path;
        int status;
        const char* type;
        std::string holds;
    };
    const page pages[] = {
        {"GET", "/metrics", 200, "text/plain; version=0.0.4", "rebound_probes_sent_total{"},
        {"GET", "/", 200, "text/html", "<td>" + target + "</td>"},
        {"GET", "/-/healthy", 200, "text/plain", "healthy"},
        {"HEAD", "/metrics", 200, "text/plain; version=0.0.4", ""},
        {"GET", "/nowhere", 404, "text/plain", ""},
        {"POST", "/metrics", 405, "text/plain", ""},
    };
    for (const page& p : pages) {
        SCOPED_TRACE(std::string(p.method) + " " + p.path);
        const HttpReply r = http_request(exporter.port(), p.method, p.path);
        EXPECT_EQ(r.status, p.status);
        EXPECT_EQ(r.header("Content-Type").rfind(p.type, 0), 0u) << r.header("Content-Type");
        EXPECT_NE(r.body.find(p.holds), std::string::npos);
        if (std::string(p.method) == "HEAD") {
            EXPECT_EQ(r.body, "");
        }
    }
}

TEST_F(Exporter, SighupReadsTheFileAgainAndKeepsItOnAFault) {
    ResponderProcess kept_responder;
    ASSERT_TRUE(kept_responder.answering());
    DelayLine dropped(0ms), added(0ms);
    TempDir dir;
    const std::string file = dir.path() + "/targets.yml";
    const auto target = [](const char* name, int port) {
        return std::string("  - name: ") + name + "\n    host: 127.0.0.1\n    port: " +
               std::to_string(port) + "\n    period: 0.01\n";
    };
    write_text(file, "targets:\n" + target("kept", kept_responder.port()) +
                         target("dropped", dropped.port()));
    ExporterProcess exporter({"--config", file});
    ASSERT_TRUE(exporter.serving()) << exporter.process().err();
    const std::string kept = labels_of("kept", kept_responder.port());
    const auto sent = [](const std::string& s, const std::string& labels) {
        return sample_value(s, "rebound_probes_sent_total", labels);
    };
    // Enough probes that a counter started over could not catch up by the next scrape.
    constexpr double kBefore = 50;
    exporter.scrape_until([&](const std::string& s) { return sent(s, kept) >= kBefore; });

    write_text(file, "targets:\n" + target("kept", kept_responder.port()) +
                         target("added", added.port()));
    exporter.process().signal(SIGHUP);
    ASSERT_TRUE(exporter.process().wait_for_output("configuration read again", 30s));
    std::string lint;
    std::string text = exporter.scrape(&lint);
    EXPECT_EQ(lint, "");
    EXPECT_GE(sent(text, kept), kBefore); // its counters went on
    EXPECT_EQ(sent(text, labels_of("dropped", dropped.port())), -1);
    EXPECT_GE(sent(text, labels_of("added", added.port())), 0);
    EXPECT_EQ(sample_value(text, "rebound_exporter_config_last_reload_successful"), 1);

    // A file with a fault: said with its line, and the targets in force go on.
    write_text(file, "targets:\n" + target("kept", kept_responder.port()) + "    colour: red\n");
    exporter.process().signal(SIGHUP);
    ASSERT_TRUE(wait_for_error_text(exporter.process(), file + ":6: unknown key 'colour'"))
        << exporter.process().err();
    const double kept_sent = sent(exporter.scrape(), kept);
    text = exporter.scrape_until([&](const std::string& s) { return sent(s, kept) > kept_sent; });
    exporter.scrape(&lint);
    EXPECT_EQ(lint, "");
    EXPECT_GT(sent(text, kept), kept_sent);
    EXPECT_GE(sent(text, labels_of("added", added.port())), 0);
    EXPECT_EQ(sample_value(text, "rebound_exporter_config_last_reload_successful"), 0);
}

// One responder of both families probed over each: the IPv6 target is written and labelled in
// brackets, and both are answered.
TEST_F(Exporter, TargetsOfBothFamiliesAreProbed) {
    ResponderProcess responder({}, ""); // no -h: answers IPv4 and IPv6 on one port
    ASSERT_TRUE(responder.answering());
    const std::string port = std::to_string(responder.port());
    ExporterProcess exporter({"--target", "127.0.0.1:" + port, "--target", "[::1]:" + port,
                              "--target", "::1", "--period", "0.01"});
    ASSERT_TRUE(exporter.serving()) << exporter.process().err();
    const std::string v4 = labels_of("127.0.0.1:" + port, responder.port());
    const std::string v6 = labels_of("[::1]:" + port, responder.port(), "[::1]");
    const std::string text = exporter.scrape_until([&](const std::string& s) {
        return sample_value(s, "rebound_echoes_total", v4) >= 3 &&
               sample_value(s, "rebound_echoes_total", v6) >= 3;
    });
    EXPECT_GE(sample_value(text, "rebound_echoes_stamped_total", v6), 3);
    // A bare IPv6 address takes the default port.
    EXPECT_NE(text.find("target=\"[::1]:33333\""), std::string::npos);
}
