// The three reports of a run (human summary, JSON document, OpenMetrics file) from runs of
// known events: their numbers, and that the three agree with each other.
#include "report/json_report.h"
#include "report/openmetrics_report.h"
#include "report/summary_collector.h"
#include "report/summary_printer.h"
#include "tests/report/synthetic_run.h"
#include "tests/support/openmetrics_parse.h"
#include "tests/support/read_file.h"
#include "tests/support/summary_text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using testsupport::feed;
using testsupport::probes_with_drops;
using testsupport::summary_numbers;
using testsupport::synthetic_probe;
using testsupport::synthetic_run;
using json = nlohmann::json;

struct Reports {
    summary_collector collector;
    std::string text;
    json document;
    std::string metrics_path;
};

// Runs all three reports over one synthetic run, in the order reboundcli lists them.
void run_reports(const synthetic_run& run, Reports* r) {
    char json_path[] = "/tmp/rebound-json-XXXXXX";
    const int fd = ::mkstemp(json_path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    r->metrics_path = std::string(json_path) + ".prom";
    std::FILE* json_file = std::fopen(json_path, "w");
    std::FILE* text_file = std::tmpfile();
    ASSERT_TRUE(json_file && text_file);
    summary_printer printer(r->collector, "localhost:33333", text_file);
    json_report writer(r->collector, testsupport::sample_description(), json_file);
    openmetrics_report metrics(r->collector, "localhost:33333", r->metrics_path);
    rebound_observers all{&r->collector, &printer, &writer, &metrics};
    feed(run, all);
    EXPECT_TRUE(writer.written());
    EXPECT_EQ(metrics.error(), "");
    std::fclose(json_file);
    std::rewind(text_file);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, text_file)) > 0)
        r->text.append(buf, n);
    std::fclose(text_file);
    r->document =
        json::parse(testsupport::read_file(json_path)); // throws, failing the test, if invalid
    ::unlink(json_path);
}

TEST(Summary, NumbersOfKnownRuns) {
    struct Case {
        const char* name;
        synthetic_run run;
        int sent, unique, duplicates, late, foreign;
        double lost, median_ms;
    };
    synthetic_run drops{probes_with_drops(100, 10, 0.0005)};
    synthetic_run dups{std::vector<synthetic_probe>{{0.001, 2}, {0.002, 0, true}, {0.003, 1}}};
    dups.foreign = 4;
    synthetic_run silent{probes_with_drops(5, 1, 0)};
    Case cases[] = {
        {"every 10th dropped", drops, 100, 90, 0, 0, 0, 10.0, 0.5},
        {"duplicates, late, foreign", dups, 3, 3, 3, 1, 4, 0.0, 2.0},
        {"nothing answered", silent, 5, 0, 0, 0, 0, 100.0, NAN},
    };
    for (const auto& c : cases) {
        Reports r;
        run_reports(c.run, &r);
        const run_summary& s = r.collector.summary();
        EXPECT_EQ(s.sent, c.sent) << c.name;
        EXPECT_EQ(s.unique, c.unique) << c.name;
        EXPECT_EQ(s.duplicates, c.duplicates) << c.name;
        EXPECT_EQ(s.late, c.late) << c.name;
        EXPECT_EQ(s.foreign, c.foreign) << c.name;
        EXPECT_DOUBLE_EQ(s.lost_percent, c.lost) << c.name;
        if (std::isnan(c.median_ms)) {
            EXPECT_EQ(s.round_trip.count, 0u) << c.name;
            EXPECT_NE(r.text.find("round trip: no echo\n"), std::string::npos) << r.text;
        } else {
            EXPECT_NEAR(s.round_trip.quantiles[kMedianIndex] * 1000, c.median_ms, 1e-9) << c.name;
        }
        ::unlink(r.metrics_path.c_str());
    }
}

TEST(Summary, TextOfARun) {
    // Round trips 1..10 ms, the 5th lost; send calls of 20 us; probes 2 ms apart.
    synthetic_run run;
    for (int i = 1; i <= 10; ++i)
        run.probes.push_back({i == 5 ? -1 : i / 1000.0});
    run.probes[8].duplicates = 1;
    Reports r;
    run_reports(run, &r);
    ::unlink(r.metrics_path.c_str());
    EXPECT_EQ(r.text, "--- localhost:33333 round-trip summary ---\n"
                      "probes sent 10, echoes received 9 (unique), lost 10.0 %\n"
                      "duplicates 1, late 0, out of order 0, foreign 0\n"
                      "round trip ms: min 1.000, mean 5.556, median 6.000, p90 9.200, p99 9.920, "
                      "p99.9 9.992, max 10.000, sd 3.023\n"
                      "jitter (IPDV) ms: mean 1.125, max 2.000\n"
                      "send call ms: median 0.020, max 0.020\n"
                      "elapsed 0.020 s, 500.0 probes/s\n");

    run.end = rebound_end::stopped;
    Reports stopped;
    run_reports(run, &stopped);
    ::unlink(stopped.metrics_path.c_str());
    EXPECT_EQ(stopped.text.substr(0, stopped.text.find('\n')),
              "--- localhost:33333 round-trip summary (run stopped by a signal) ---");
}

// Minor page faults the calling thread has taken so far.
long thread_minor_faults() {
    rusage use{};
    ::getrusage(RUSAGE_THREAD, &use);
    return use.ru_minflt;
}

// Listed in front of the collector: the faults taken from the second probe's send to the run's
// end, all of them the collector's (the synthetic run itself touches nothing new). The first
// echo may still make room for the side of zero its one-way delays fall on.
struct FaultsDuringRun final : rebound_observer {
    long from_second_send = -1, at_end = -1;
    void probe_sent(const rebound_probe_sent& e) override {
        if (e.index == 1) from_second_send = thread_minor_faults();
    }
    void run_ended(const rebound_run_end&) override { at_end = thread_minor_faults(); }
};

// Every store that takes a value per probe is written to before the probes come, so a run adds
// its values without a page fault: on some machines a fault in the measuring process delays
// its next round trip. Stores that grew as the run went faulted about once per 512 values.
TEST(Summary, StoresAreInPlaceBeforeTheProbesCome) {
    constexpr int kProbes = 200'000; // 1.6 MB per store, a few hundred pages
    constexpr long kFaultsAllowed = 4; // anything else the process may touch meanwhile
    struct Case {
        const char* run;
        double send_lateness;
        bool stamps;
    };
    const Case cases[] = {
        {"lock-step", -1, false},
        {"scheduled", 200e-6, false},
        {"with the responder's stamps", -1, true},
    };
    for (const Case& c : cases) {
        synthetic_probe probe;
        probe.stamped = c.stamps;
        probe.send_delay = 300e-6;
        probe.dwell = 100e-6;
        synthetic_run run;
        run.probes.assign(kProbes, probe);
        run.send_lateness = c.send_lateness;
        run.stamps_asked = c.stamps;
        summary_collector collector;
        FaultsDuringRun faults;
        rebound_observers both{&faults, &collector};
        feed(run, both);
        EXPECT_LE(faults.at_end - faults.from_second_send, kFaultsAllowed) << c.run;
        EXPECT_EQ(collector.summary().directions.stamped, c.stamps ? kProbes : 0) << c.run;
    }
}

// The DSCP the probes were sent with is the run's, whether or not it asked for the stamps
// that tell the DSCP on the way there.
TEST(Summary, MarkingSentIsTheRunsWithAndWithoutStamps) {
    for (const bool stamps : {false, true}) {
        synthetic_run run;
        run.probes.assign(3, synthetic_probe{});
        run.stamps_asked = stamps;
        run.dscp = 46; // EF
        summary_collector collector;
        feed(run, collector);
        EXPECT_EQ(collector.summary().marking.sent, 46) << (stamps ? "with" : "without") << " stamps";
    }
}

TEST(JsonReport, DocumentOfARunAgreesWithTheSummary) {
    synthetic_run run{probes_with_drops(20, 4, 0.00025)};
    run.probes[1].duplicates = 2;
    run.probes[2].late = true;
    Reports r;
    run_reports(run, &r);
    ::unlink(r.metrics_path.c_str());
    const json& d = r.document;
    EXPECT_EQ(d["program"], "reboundcli");
    EXPECT_EQ(d["version"], "9.8.7");
    EXPECT_EQ(d["parameters"]["host"], "localhost");
    EXPECT_EQ(d["parameters"]["count"], 100);
    EXPECT_TRUE(d["parameters"]["duration"].is_null());
    EXPECT_EQ(d["responder"]["address"], "127.0.0.1");
    EXPECT_EQ(d["responder"]["port"], 33333);
    EXPECT_EQ(d["start"], "2026-06-10T05:32:12.250000Z");
    EXPECT_EQ(d["end"], "normal");

    const json& probes = d["probes"];
    ASSERT_EQ(probes.size(), 20u);
    for (size_t i = 0; i < probes.size(); ++i) {
        const json& p = probes[i];
        EXPECT_EQ(p["seq"], i);
        EXPECT_DOUBLE_EQ(p["send_offset"].get<double>(), 0.002 * double(i));
        EXPECT_DOUBLE_EQ(p["send_duration"].get<double>(), 20e-6);
        EXPECT_EQ(p["sent"], true);
        if ((i + 1) % 4 == 0)
            EXPECT_TRUE(p["round_trip"].is_null()) << i;
        else
            EXPECT_DOUBLE_EQ(p["round_trip"].get<double>(), 0.00025) << i;
        EXPECT_EQ(p["duplicates"], i == 1 ? 2 : 0);
        EXPECT_EQ(p["late"], i == 2);
    }

    // The summary's numbers are the text's, in seconds instead of milliseconds.
    const json& s = d["summary"];
    const auto text = summary_numbers(r.text);
    EXPECT_EQ(s["probes_sent"], text.at("probes.probes sent"));
    EXPECT_EQ(s["echoes_unique"], text.at("probes.echoes received"));
    EXPECT_EQ(s["echoes_received"], 17);
    EXPECT_DOUBLE_EQ(s["lost_percent"].get<double>(), text.at("probes.lost"));
    EXPECT_EQ(s["duplicates"], text.at("duplicates.duplicates"));
    EXPECT_EQ(s["late"], text.at("duplicates.late"));
    for (const char* key : {"min", "mean", "median", "p90", "p99", "p99.9", "max"})
        EXPECT_NEAR(s["round_trip"][key].get<double>() * 1000, text.at(std::string("round.") + key),
                    0.0005)
            << key;
    EXPECT_NEAR(s["round_trip"]["stddev"].get<double>() * 1000, text.at("round.sd"), 0.0005);
    EXPECT_EQ(s["round_trip"]["exact"], true);
    EXPECT_NEAR(s["elapsed"].get<double>(), text.at("elapsed.elapsed"), 0.0005);
}

TEST(JsonReport, ValidAfterAStopAndWithoutEchoes) {
    synthetic_run run{probes_with_drops(3, 1, 0)};
    run.end = rebound_end::stopped;
    Reports r;
    run_reports(run, &r);
    ::unlink(r.metrics_path.c_str());
    EXPECT_EQ(r.document["end"], "stopped");
    EXPECT_EQ(r.document["probes"].size(), 3u);
    EXPECT_TRUE(r.document["summary"]["round_trip"]["median"].is_null());
    EXPECT_TRUE(r.document["summary"]["jitter"]["mean"].is_null());
    EXPECT_EQ(r.document["summary"]["lost_percent"], 100.0);

    synthetic_run empty;
    Reports none;
    run_reports(empty, &none);
    ::unlink(none.metrics_path.c_str());
    EXPECT_TRUE(none.document["probes"].is_array());
    EXPECT_TRUE(none.document["probes"].empty());
    EXPECT_TRUE(none.document["summary"]["lost_percent"].is_null());
}

TEST(OpenMetrics, RealParsersReadWhatTheSummarySays) {
    synthetic_run run{probes_with_drops(50, 5, 0.0004)};
    run.probes[0].round_trip = 0.0001;
    run.probes[48].round_trip = 0.0009; // the 50th stays lost
    Reports r;
    run_reports(run, &r);
    const auto reading = testsupport::parse_openmetrics_file(r.metrics_path);
    ASSERT_TRUE(reading.parsed) << reading.error << "\n" << testsupport::read_file(r.metrics_path);
    const std::string text = testsupport::read_file(r.metrics_path);
    ::unlink(r.metrics_path.c_str());
    EXPECT_EQ(text.substr(text.size() - 6), "# EOF\n");

    const json families = json::parse(reading.json);
    const run_summary& s = r.collector.summary();
    const json& rtt = families.at("rebound_round_trip_seconds");
    EXPECT_EQ(rtt["type"], "summary");
    EXPECT_EQ(rtt["unit"], "seconds");
    std::map<std::string, double> quantiles;
    for (const auto& sample : rtt["samples"]) {
        EXPECT_EQ(sample[1]["target"], "localhost:33333");
        if (sample[0] == "rebound_round_trip_seconds") quantiles[sample[1]["quantile"]] = sample[2];
        if (sample[0] == "rebound_round_trip_seconds_count") {
            EXPECT_EQ(sample[2], s.unique);
        }
    }
    EXPECT_DOUBLE_EQ(quantiles.at("0"), 0.0001);
    EXPECT_DOUBLE_EQ(quantiles.at("0.5"), 0.0004);
    EXPECT_NEAR(quantiles.at("0.99"), s.round_trip.quantiles[2], 1e-9); // to the nanosecond
    EXPECT_DOUBLE_EQ(quantiles.at("1"), 0.0009);
    const auto gauge = [&](const char* name) {
        return families.at(name)["samples"][0][2].get<double>();
    };
    EXPECT_DOUBLE_EQ(gauge("rebound_loss_ratio"), 0.2);
    EXPECT_EQ(gauge("rebound_probes_sent"), 50);
    EXPECT_EQ(gauge("rebound_echoes_unique"), 40);
    EXPECT_EQ(gauge("rebound_run_complete"), 1);
    EXPECT_DOUBLE_EQ(gauge("rebound_ipdv_max_seconds"), 0.0005);
}

TEST(OpenMetrics, TargetLabelIsEscaped) {
    const std::string path = "/tmp/rebound-om-label-" + std::to_string(::getpid()) + ".prom";
    {
        std::ofstream out(path);
        out << openmetrics_text(run_summary{}, "we\"ird\\host\nname:1", 1.5);
    }
    const auto reading = testsupport::parse_openmetrics_file(path);
    ::unlink(path.c_str());
    ASSERT_TRUE(reading.parsed) << reading.error;
    const json families = json::parse(reading.json);
    EXPECT_EQ(families.at("rebound_probes_sent")["samples"][0][1]["target"],
              "we\"ird\\host\nname:1");
    EXPECT_EQ(families.at("rebound_run_end_timestamp_seconds")["samples"][0][2], 1.5);
}

// A marked run's DSCPs in each direction, parsed back; an unmarked run has no such families.
TEST(OpenMetrics, MarkingIsReportedByDirectionOnlyWhenMarked) {
    const std::string path = "/tmp/rebound-om-dscp-" + std::to_string(::getpid()) + ".prom";
    const auto families_of = [&](const run_summary& s) {
        {
            std::ofstream out(path);
            out << openmetrics_text(s, "127.0.0.1:7", 1.5);
        }
        const auto reading = testsupport::parse_openmetrics_file(path);
        ::unlink(path.c_str());
        EXPECT_TRUE(reading.parsed) << reading.error;
        return json::parse(reading.json);
    };
    EXPECT_FALSE(families_of(run_summary{}).contains("rebound_echoes_by_dscp"));

    run_summary s;
    s.directions.asked = true;
    s.marking.sent = 46;            // EF
    s.marking.at_responder[46] = 4; // the path kept it on the way out...
    s.marking.back[0] = 4;          // ...and the way back cleared it
    const json f = families_of(s);
    EXPECT_EQ(f.at("rebound_probe_dscp")["samples"][0][2], 46);
    std::map<std::string, double> by;
    for (const json& sample : f.at("rebound_echoes_by_dscp")["samples"])
        by[sample[1]["direction"].get<std::string>() + " " + sample[1]["dscp"].get<std::string>()] =
            sample[2];
    EXPECT_EQ(by, (std::map<std::string, double>{{"at_responder EF", 4}, {"back CS0", 4}}));
}

} // namespace

namespace {

// A responder whose clock is far off: the one-way delays carry the offset (negative on one
// side), every report says the same numbers, and neither the dwell, the network round trip nor
// the jitter of each direction moves with the offset.
TEST(Directions, OneWayDelaysCarryTheClockOffsetAndNothingElseDoes) {
    constexpr double kSendDelays[] = {0.0002, 0.0003, 0.0002, 0.0006, 0.0002};
    constexpr double kDwell = 0.00005;
    constexpr double kRoundTrip = 0.001;
    const auto run_with_offset = [&](double offset, Reports* r) {
        synthetic_run run;
        run.stamps_asked = true;
        for (double d : kSendDelays)
            run.probes.push_back({kRoundTrip, 0, false, true, d + offset, kDwell});
        run.probes.push_back({-1}); // lost: no stamps to count
        run_reports(run, r);
    };
    Reports in_step, behind;
    run_with_offset(0, &in_step);
    run_with_offset(-2.5, &behind); // the responder's clock 2.5 s behind this host's
    const direction_stats& a = in_step.collector.summary().directions;
    const direction_stats& b = behind.collector.summary().directions;
    EXPECT_EQ(b.stamped, 5);
    EXPECT_NEAR(b.send_delay.min, 0.0002 - 2.5, 1e-9);
    EXPECT_NEAR(b.send_delay.quantiles[kMedianIndex], 0.0002 - 2.5, 1e-9);
    EXPECT_NEAR(b.send_delay.max, 0.0006 - 2.5, 1e-9);
    EXPECT_NEAR(b.receive_delay.quantiles[kMedianIndex] - 2.5,
                a.receive_delay.quantiles[kMedianIndex], 1e-9);
    EXPECT_NEAR(b.send_delay.mean + b.receive_delay.mean + kDwell, kRoundTrip, 1e-9);
    for (const auto* s : {&a, &b}) {
        EXPECT_DOUBLE_EQ(s->dwell.quantiles[kMedianIndex], kDwell);
        EXPECT_DOUBLE_EQ(s->network_round_trip.max, kRoundTrip - kDwell);
        EXPECT_EQ(s->send_jitter.pairs, 4u);
        EXPECT_NEAR(s->send_jitter.max, 0.0004, 1e-9); // 0.0006 to 0.0002
        EXPECT_NEAR(s->receive_jitter.max, 0.0004, 1e-9);
    }
    // The three reports agree.
    const json& d = behind.document["summary"]["directions"];
    EXPECT_EQ(d["stamped"], 5);
    EXPECT_NEAR(d["send_delay"]["median"].get<double>(), 0.0002 - 2.5, 1e-9);
    EXPECT_NEAR(d["send_jitter"]["max"].get<double>(), 0.0004, 1e-9);
    const json& probes = behind.document["probes"];
    ASSERT_EQ(probes.size(), 6u);
    EXPECT_NEAR(probes[3]["send_delay"].get<double>(), 0.0006 - 2.5, 1e-9);
    EXPECT_NEAR(probes[3]["dwell"].get<double>(), kDwell, 1e-9);
    EXPECT_NEAR(probes[3]["receive_delay"].get<double>(), kRoundTrip - kDwell - 0.0006 + 2.5, 1e-9);
    EXPECT_TRUE(probes[5]["send_delay"].is_null()); // lost: nothing to split
    EXPECT_FALSE(probes[0].contains("send_lateness")); // a lock-step run
    const auto n = summary_numbers(behind.text);
    EXPECT_NEAR(n.at("send.min"), (0.0002 - 2.5) * 1000, 0.001);
    EXPECT_NEAR(n.at("responder.median"), kDwell * 1000, 0.001);
    const auto reading = testsupport::parse_openmetrics_file(behind.metrics_path);
    ASSERT_TRUE(reading.parsed) << reading.error;
    const json families = json::parse(reading.json);
    bool median_seen = false;
    for (const auto& sample : families.at("rebound_send_delay_seconds")["samples"])
        if (sample[1]["stat"] == "median") {
            EXPECT_NEAR(sample[2].get<double>(), 0.0002 - 2.5, 1e-9);
            median_seen = true;
        }
    EXPECT_TRUE(median_seen);
    for (auto* r : {&in_step, &behind})
        ::unlink(r->metrics_path.c_str());
    // A run that did not ask shows none of it.
    Reports plain;
    run_reports(synthetic_run{probes_with_drops(5, 10, kRoundTrip)}, &plain);
    EXPECT_TRUE(plain.document["summary"]["directions"].is_null());
    EXPECT_FALSE(plain.document["probes"][0].contains("dwell"));
    EXPECT_EQ(plain.text.find("delay"), std::string::npos);
    ::unlink(plain.metrics_path.c_str());
}

} // namespace
