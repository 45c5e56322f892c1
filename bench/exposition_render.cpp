// The processor time of one scrape of a large fleet: the figures of TARGETS targets (default
// 1000), every one with echoes and stamps so all four histograms are written, copied and
// rendered as the Prometheus text. Prints the best of ROUNDS (default 15) in milliseconds and
// the bytes of one scrape. The exporter's probing thread shares the machine with this work.
// Usage: exposition_render [TARGETS] [ROUNDS]
#include "report/fleet_exposition.h"
#include "report/fleet_metrics.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int targets = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    if (targets <= 0 || rounds <= 0) return 2;
    constexpr int kEchoesPerTarget = 50;
    constexpr double kRoundTripStep = 1e-4;
    const auto bounds = std::make_shared<const bucket_bounds>(default_round_trip_buckets());
    std::vector<std::pair<uint64_t, target_identity>> set;
    for (uint64_t id = 1; id <= uint64_t(targets); ++id)
        set.push_back({id, target_identity{{{"target", "127.0.0." + std::to_string(id % 250 + 1) + ":33333"},
                                            {"name", "target" + std::to_string(id)}},
                                           bounds}});
    fleet_metrics figures;
    figures.set_targets(set);
    const rebound_directions stamped{true, 1e-4, 2e-5, 3e-5};
    for (const auto& [id, identity] : set)
        for (int k = 1; k <= kEchoesPerTarget; ++k) {
            figures.probe_sent(id, 1e-5);
            figures.echo_answered(id, kRoundTripStep * k, stamped);
        }
    double best_ms = 0;
    size_t bytes = 0;
    for (int r = 0; r < rounds; ++r) {
        bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        write_fleet_exposition(figures.snapshot(), exporter_figures{},
                               exposition_format::prometheus_text, [&](std::string_view piece) {
                                   bytes += piece.size();
                                   return true;
                               });
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (r == 0 || ms < best_ms) best_ms = ms;
    }
    std::printf("%d targets: %.2f ms a scrape (best of %d), %zu bytes\n", targets, best_ms, rounds,
                bytes);
    return 0;
}
