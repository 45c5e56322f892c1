// What rebound_exporter probes: targets from --target texts and from a YAML file, checked
// whole before any is used. A message names the file and line of the first fault.
//
//   defaults:            # optional; what every target below takes unless it says otherwise
//     port: 33333
//     period: 1          # seconds between probes
//     timeout: 5         # seconds an echo is awaited (default: the smaller of 5 and 5 periods)
//     probe_size: 64     # bytes
//     echo_size: 64      # bytes; 32 or more carry the responder's stamps
//     dscp: 46           # 0..63
//     buckets: [0.001, 0.01, 0.1, 1]   # round-trip histogram bounds, seconds
//     labels: {site: lab}
//   targets:
//     - name: db1        # default: host:port
//       host: 192.0.2.10
//       port: 33333
//       labels: {rack: r1}
#pragma once

#include "report/fleet_metrics.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

inline constexpr int32_t kDefaultTargetPort = 33333;
inline constexpr double kDefaultTargetPeriod = 1.0;

struct target_config {
    std::string name;
    std::string host;
    int32_t port = kDefaultTargetPort;
    double period = kDefaultTargetPeriod;
    double timeout = 0; // 0: the default wait for the period
    int32_t probe_size = 64;
    int32_t echo_size = 64;
    int dscp = -1;
    std::vector<std::pair<std::string, std::string>> labels; // configured, in order
    bucket_bounds buckets = default_round_trip_buckets();
    std::string origin; // "FILE:LINE" or "--target"; left out of comparisons

    bool same_settings(const target_config& o) const;
    std::string host_port() const; // the `target` label
};

// Either the targets or why not.
struct config_result {
    std::vector<target_config> targets;
    std::string error; // empty: the targets are good
};

// A --target text, HOST or HOST:PORT, with `base` giving every other setting.
config_result target_from_text(const std::string& text, const target_config& base);

// A configuration document; `source` names it in messages.
config_result parse_config_text(const std::string& text, const std::string& source,
                                const target_config& base);
// The file at `path` (a regular file only: a device or a pipe is refused, never read).
config_result read_config_file(const std::string& path, const target_config& base);

// The command line's targets followed by the file's, with duplicates refused (a name used
// twice, or one host, port and DSCP twice).
config_result join_targets(std::vector<target_config> first, std::vector<target_config> second);
