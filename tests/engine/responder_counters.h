// reboundsrv's counters line ("reboundsrv: received=... log_dropped=...", on standard error)
// read into named numbers, and asked for with SIGUSR1.
#pragma once

#include "tests/support/child_process.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace testsupport {

using Counters = std::map<std::string, long>; // "received", "own_port", "log_dropped", ...

// The counters lines in a standard error text, oldest first.
std::vector<Counters> counters_lines(const std::string& err);

// Asks for the counters (SIGUSR1) until `done` holds for the answer; the last answer, or
// nothing when the responder stopped answering.
std::optional<Counters> counters_when(ChildProcess& server,
                                      const std::function<bool(const Counters&)>& done);

} // namespace testsupport
