// The exporter's figures: each value lands in its bucket (a negative one-way delay in the
// lowest), a new set of targets keeps the figures of ids that stay and starts the others from
// zero, and the text streamed in pieces is the text whole.
#include "report/fleet_exposition.h"
#include "report/fleet_metrics.h"

#include <gtest/gtest.h>

namespace {

target_identity identity(const std::string& name, bucket_bounds bounds = {0.001, 0.01}) {
    return {{{"target", "127.0.0.1:1"}, {"name", name}},
            std::make_shared<const bucket_bounds>(std::move(bounds))};
}

const target_figures& of(const fleet_snapshot& s, const std::string& name) {
    for (const auto& t : s.targets)
        if (t.identity->labels[1].second == name) return t;
    throw std::runtime_error("no target " + name);
}

} // namespace

TEST(FleetMetrics, ValuesLandInTheirBuckets) {
    const bucket_bounds bounds{0.001, 0.01};
    const struct {
        double value;
        size_t bucket;
    } cases[] = {
        {-0.5, 0},   // a one-way delay below zero: the clocks' offset
        {0.0005, 0},
        {0.001, 0},  // a bound belongs to its own bucket (le)
        {0.0011, 1},
        {0.01, 1},
        {10.0, 2},   // +Inf
    };
    for (const auto& c : cases) {
        bucket_counts counts;
        counts.observe(bounds, c.value);
        ASSERT_EQ(counts.counts.size(), bounds.size() + 1);
        EXPECT_EQ(counts.counts[c.bucket], 1u) << c.value;
        EXPECT_EQ(counts.count, 1u);
        EXPECT_EQ(counts.sum, c.value);
    }
}

// Operators read a lateness bound such as "p99 below 1 ms" off a bucket edge: the edges are
// 1, 2, 5 steps written as the short decimals they are, and a lateness of exactly 1 ms counts
// within its edge.
TEST(FleetMetrics, LatenessEdgesAreOneTwoFiveDecimals) {
    fleet_metrics m;
    m.probe_sent(1, 0.001);
    m.probe_sent(1, 0.0011);
    const fleet_snapshot s = m.snapshot();
    const std::string text = fleet_exposition(s, exporter_figures{}, exposition_format::prometheus_text);
    for (const char* edge : {"1e-06", "5e-06", "2e-05", "1e-04", "5e-04", "0.001", "0.002", "0.5", "1"})
        EXPECT_NE(text.find(std::string("rebound_exporter_send_lateness_seconds_bucket{le=\"") + edge + "\"}"),
                  std::string::npos)
            << edge;
    EXPECT_NE(text.find("rebound_exporter_send_lateness_seconds_bucket{le=\"0.001\"} 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("rebound_exporter_send_lateness_seconds_bucket{le=\"0.002\"} 2\n"),
              std::string::npos);
    EXPECT_EQ(s.lateness_bounds.size(), 19u); // 6 decades of 1, 2, 5, then 1 s
}

TEST(FleetMetrics, ANewSetKeepsTheFiguresOfTargetsThatStay) {
    fleet_metrics m;
    m.set_targets({{1, identity("kept")}, {2, identity("dropped")}});
    rebound_directions stamped{true, 0.0001, 0.002, -0.001};
    m.probe_sent(1, 0.00001);
    m.echo_answered(1, 0.005, stamped);
    m.probe_lost(2);
    m.probe_sent(7, 0); // an id no longer (or not yet) named: ignored

    m.set_targets({{1, identity("kept")}, {3, identity("added")}});
    m.probe_lost(2); // a late event of a target gone
    const fleet_snapshot s = m.snapshot();
    ASSERT_EQ(s.targets.size(), 2u);
    const target_figures& kept = of(s, "kept");
    EXPECT_EQ(kept.sent, 1u);
    EXPECT_EQ(kept.answered, 1u);
    EXPECT_EQ(kept.stamped, 1u);
    EXPECT_EQ(kept.round_trip.counts[1], 1u);
    EXPECT_EQ(kept.receive_delay.counts[0], 1u); // negative: lowest bucket
    const target_figures& added = of(s, "added");
    EXPECT_EQ(added.sent + added.lost + added.answered, 0u);
    EXPECT_EQ(s.lateness.count, 2u); // every probe sent, of any target
}

TEST(FleetExposition, TheTextInPiecesIsTheTextWhole) {
    fleet_metrics m;
    std::vector<std::pair<uint64_t, target_identity>> targets;
    for (uint64_t id = 1; id <= 400; ++id) targets.push_back({id, identity(std::to_string(id))});
    m.set_targets(targets);
    for (uint64_t id = 1; id <= 400; ++id) m.echo_answered(id, 0.002, {true, 0, 0.001, 0.001});
    const fleet_snapshot s = m.snapshot();
    for (const auto format : {exposition_format::prometheus_text, exposition_format::openmetrics}) {
        std::string joined;
        size_t pieces = 0, largest = 0;
        write_fleet_exposition(s, {}, format, [&](std::string_view piece) {
            joined += piece;
            ++pieces;
            largest = std::max(largest, piece.size());
            return true;
        });
        EXPECT_EQ(joined, fleet_exposition(s, {}, format));
        EXPECT_GT(pieces, 2u);
        EXPECT_LT(largest, 2 * kExpositionPiece); // a piece is about kExpositionPiece
        // A sink that takes no more gets nothing more.
        size_t calls = 0;
        write_fleet_exposition(s, {}, format, [&](std::string_view) {
            ++calls;
            return false;
        });
        EXPECT_EQ(calls, 1u);
    }
}
