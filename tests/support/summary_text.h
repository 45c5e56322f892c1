// Reads the numbers back out of reboundcli's human summary.
#pragma once

#include <map>
#include <string>

namespace testsupport {

// Every "name value" piece of the summary lines ("min 0.500", "duplicates 2", "lost 10.0 %"),
// keyed by the line's first word and the piece's name: "round.min", "probes.lost",
// "probes.echoes received". Lines that are no summary lines are read the same way, so pass
// the summary's lines only.
std::map<std::string, double> summary_numbers(const std::string& text);

} // namespace testsupport
