#include "tests/support/openmetrics_parse.h"

#include "tests/support/child_process.h"

#include <unistd.h>

namespace testsupport {

MetricsReading parse_openmetrics_file(const std::string& path) {
    MetricsReading reading;
    const char* python = "/usr/bin/python3";
    if (::access(python, X_OK) != 0) {
        reading.error = "no /usr/bin/python3 (scripts/install-deps.sh installs it)";
        return reading;
    }
    ChildProcess p;
    const std::string script =
        std::string(REBOUND_SOURCE_DIR) + "/tests/support/openmetrics_check.py";
    if (!p.start(python, {script, path}) || !p.wait()) {
        reading.error = "the parser did not run";
        return reading;
    }
    reading.parsed = p.exited() && p.exit_code() == 0;
    reading.json = p.out();
    reading.error = p.err();
    return reading;
}

} // namespace testsupport
