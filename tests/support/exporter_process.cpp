#include "tests/support/exporter_process.h"

#include "tests/support/read_file.h"
#include "tests/support/stream_peer.h"

#include <csignal>
#include <fstream>
#include <regex>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr const char* kPromtool = "/usr/bin/promtool";
constexpr auto kLongestWait = std::chrono::seconds(30);

// Runs a checker over `text` in a file; its complaint, or empty when it accepts the text.
std::string check_with(const std::string& command, const std::string& text) {
    TempDir dir;
    const std::string path = dir.path() + "/scrape";
    std::ofstream(path, std::ios::binary) << text;
    ChildProcess checker;
    if (!checker.start("/bin/sh", {"-c", command + " < '" + path + "' 2>&1"}))
        return "cannot start the checker";
    if (!checker.wait(kLongestWait)) return "the checker did not end";
    if (checker.exited() && checker.exit_code() == 0 && checker.out().empty()) return {};
    return "rejected: " + checker.out();
}

} // namespace

bool have_promtool() {
    return ::access(kPromtool, X_OK) == 0;
}

ExporterProcess::ExporterProcess(const std::vector<std::string>& args) {
    std::vector<std::string> all{"--listen", "127.0.0.1:0"};
    all.insert(all.end(), args.begin(), args.end());
    if (!process_.start(program_path("rebound_exporter"), all)) return;
    if (!process_.wait_for_output("/metrics", kLongestWait)) return;
    static const std::regex serving(R"(serving http://127\.0\.0\.1:(\d+)/metrics)");
    std::smatch m;
    const std::string out = process_.out();
    if (std::regex_search(out, m, serving)) port_ = std::stoi(m[1]);
}

ExporterProcess::~ExporterProcess() {
    if (!process_.exited()) {
        process_.signal(SIGTERM);
        process_.wait(kLongestWait);
    }
}

std::string ExporterProcess::scrape(std::string* lint) {
    const HttpReply r = http_get(port_, "/metrics");
    const std::string verdict = std::string(kPromtool) + " check metrics";
    if (lint) *lint = r.status == 200 ? check_with(verdict, r.body) : "no scrape";
    return r.body;
}

std::string ExporterProcess::scrape_openmetrics(std::string* verdict) {
    const HttpReply r =
        http_get(port_, "/metrics", {"Accept: application/openmetrics-text; version=1.0.0"});
    const std::string checker =
        "/usr/bin/python3 " + std::string(REBOUND_SOURCE_DIR) +
        "/tests/support/openmetrics_check.py /dev/stdin > /dev/null";
    if (verdict) *verdict = r.status == 200 ? check_with(checker, r.body) : "no scrape";
    return r.body;
}

std::string ExporterProcess::scrape_until(const std::function<bool(const std::string&)>& done) {
    const auto end = std::chrono::steady_clock::now() + kLongestWait;
    std::string text;
    while (std::chrono::steady_clock::now() < end) {
        text = scrape();
        if (done(text)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // poll interval
    }
    return text;
}

double sample_value(const std::string& scrape, const std::string& name,
                    const std::string& labels) {
    const std::string key = labels.empty() ? name + " " : name + "{" + labels + "} ";
    size_t at = 0;
    while ((at = scrape.find(key, at)) != std::string::npos) {
        if (at == 0 || scrape[at - 1] == '\n') return std::stod(scrape.substr(at + key.size()));
        at += key.size();
    }
    return -1;
}

} // namespace testsupport
