// rebound_exporter scraped by a real Prometheus (started by the test on loopback, its storage in
// a scratch folder): a path that delays every echo by 2 ms shows a median round trip between 2
// and 3 ms through histogram_quantile, and one that drops every tenth probe a loss ratio of 0.1.
#include "tests/support/delay_line.h"
#include "tests/support/exporter_process.h"
#include "tests/support/stream_peer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <optional>
#include <regex>
#include <thread>
#include <unistd.h>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";
constexpr auto kLongestWait = 90s; // Prometheus starts, scrapes and answers well within this
constexpr double kPeriod = 0.01;
constexpr int kProbesWanted = 300; // per target: the loss ratio within a third of a percent

std::string url_encoded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// The TCP port process `pid` listens on, once it does (through ss, which names the owner).
int listening_port(int pid) {
    const auto end = std::chrono::steady_clock::now() + kLongestWait;
    const std::regex row(R"(127\.0\.0\.1:(\d+)\s.*pid=)" + std::to_string(pid) + ",");
    while (std::chrono::steady_clock::now() < end) {
        ChildProcess ss;
        if (ss.start("/usr/bin/ss", {"-Hltnp"}) && ss.wait(10s)) {
            std::smatch m;
            const std::string out = ss.out();
            if (std::regex_search(out, m, row)) return std::stoi(m[1]);
        }
        std::this_thread::sleep_for(50ms); // poll interval
    }
    return 0;
}

// Prometheus on 127.0.0.1, scraping `target_port` every second.
class PrometheusServer {
  public:
    PrometheusServer(const std::string& dir, int target_port) {
        const std::string config = dir + "/prometheus.yml";
        std::ofstream(config) << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                 "scrape_configs:\n  - job_name: rebound\n"
                                 "    static_configs:\n      - targets: ['127.0.0.1:"
                              << target_port << "']\n";
        if (!process_.start(kPrometheus, {"--config.file=" + config,
                                          "--storage.tsdb.path=" + dir + "/data",
                                          "--web.listen-address=127.0.0.1:0", "--log.level=warn"}))
            return;
        port_ = listening_port(process_.pid());
    }
    ~PrometheusServer() {
        process_.signal(SIGTERM);
        process_.wait(kLongestWait);
    }
    int port() const { return port_; }
    std::string log() const { return process_.err(); }

    // The value of an instant query's first series; nothing while it has none.
    std::optional<double> query(const std::string& promql) {
        const HttpReply r = http_get(port_, "/api/v1/query?query=" + url_encoded(promql));
        if (r.status != 200) return std::nullopt;
        const auto doc = nlohmann::json::parse(r.body, nullptr, false);
        if (doc.is_discarded() || doc["status"] != "success") return std::nullopt;
        const auto& result = doc["data"]["result"];
        if (!result.is_array() || result.empty()) return std::nullopt;
        return std::stod(result[0]["value"][1].get<std::string>());
    }
    // Queries until `done` holds for the value (bounded); the last value.
    std::optional<double> query_until(const std::string& promql,
                                      const std::function<bool(double)>& done) {
        const auto end = std::chrono::steady_clock::now() + kLongestWait;
        std::optional<double> v;
        while (std::chrono::steady_clock::now() < end) {
            v = query(promql);
            if (v && done(*v)) break;
            std::this_thread::sleep_for(200ms); // poll interval
        }
        return v;
    }

  private:
    ChildProcess process_;
    int port_ = 0;
};

} // namespace

TEST(ExporterWithPrometheus, QuantilesAndLossThroughPromQL) {
    if (::access(kPrometheus, X_OK) != 0)
        GTEST_SKIP() << "Debian's prometheus package is not installed (scripts/install-deps.sh "
                        "installs it)";
    DelayLine delayed(2ms);
    DelayLine lossy(0ms, [](int n) { return n % 10 == 9 ? 0 : 1; });
    const std::string delayed_target = "127.0.0.1:" + std::to_string(delayed.port());
    const std::string lossy_target = "127.0.0.1:" + std::to_string(lossy.port());
    ExporterProcess exporter({"--target", delayed_target, "--target", lossy_target, "--period",
                              std::to_string(kPeriod)});
    ASSERT_TRUE(exporter.serving()) << exporter.process().err();

    TempDir dir;
    PrometheusServer prometheus(dir.path(), exporter.port());
    ASSERT_GT(prometheus.port(), 0) << prometheus.log();

    const auto selector = [](const std::string& target) {
        return "{target=\"" + target + "\"}";
    };
    // Enough probes through the scrapes Prometheus stored, and at least three scrapes.
    ASSERT_TRUE(prometheus.query_until("count_over_time(up{job=\"rebound\"}[5m])",
                                       [](double n) { return n >= 3; }))
        << prometheus.log();
    for (const auto& target : {delayed_target, lossy_target}) {
        const auto sent = prometheus.query_until(
            "rebound_probes_sent_total" + selector(target),
            [](double n) { return n >= kProbesWanted; });
        ASSERT_TRUE(sent && *sent >= kProbesWanted) << target;
    }

    const auto median = prometheus.query(
        "histogram_quantile(0.5, rebound_round_trip_seconds_bucket" + selector(delayed_target) +
        ")");
    ASSERT_TRUE(median);
    EXPECT_GE(*median, 0.002);
    EXPECT_LE(*median, 0.003);

    const auto loss = prometheus.query("rebound_probes_lost_total" + selector(lossy_target) +
                                       " / rebound_probes_sent_total" + selector(lossy_target));
    ASSERT_TRUE(loss);
    EXPECT_NEAR(*loss, 0.1, 0.02);
}
