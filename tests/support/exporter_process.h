// rebound_exporter started by a test on 127.0.0.1 and a port of its own choosing, known to
// serve before the constructor returns; ended with the test. Every scrape through it is
// checked by promtool (the Prometheus text format) or by the OpenMetrics parser.
#pragma once

#include "tests/support/child_process.h"
#include "tests/support/http_get.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Whether promtool (Debian's prometheus package) is there to check scrapes.
bool have_promtool();

class ExporterProcess {
  public:
    // `args` come after --listen.
    explicit ExporterProcess(const std::vector<std::string>& args);
    ~ExporterProcess();
    bool serving() const { return port_ > 0; }
    int port() const { return port_; }
    ChildProcess& process() { return process_; }

    // /metrics in the Prometheus text format, with promtool's verdict (empty: accepted).
    std::string scrape(std::string* lint = nullptr);
    // /metrics in OpenMetrics, with the OpenMetrics parser's verdict (empty: accepted).
    std::string scrape_openmetrics(std::string* verdict = nullptr);
    // Scrapes until `done` holds for the text (bounded); the last scrape.
    std::string scrape_until(const std::function<bool(const std::string&)>& done);

  private:
    ChildProcess process_;
    int port_ = 0;
};

// The value of the sample with exactly this name and these labels in a scrape (the labels as
// they appear between the braces); -1 when there is none.
double sample_value(const std::string& scrape, const std::string& name,
                    const std::string& labels = "");

} // namespace testsupport
