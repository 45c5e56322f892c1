// Turns configured targets into the addresses the prober sends to, through the name services.
// Either every target resolves, or the first that does not is named and none is used.
#pragma once

#include "engine/target_prober.h"
#include "tools/exporter_config.h"

#include <string>
#include <vector>

struct resolved_target {
    target_config config;
    probe_target probe;
};

struct resolution {
    std::vector<resolved_target> targets;
    std::string error; // empty when every target resolved
};

resolution resolve_targets(const std::vector<target_config>& targets);
