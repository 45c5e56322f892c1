// reboundsrv started by a test on 127.0.0.1 (or every address of both families) and a free
// port, known to answer over IPv4 before the constructor returns; ended with the test.
#pragma once

#include "tests/support/child_process.h"

#include <string>
#include <vector>

namespace testsupport {

class ResponderProcess {
  public:
    // `options` follow the address and port on reboundsrv's command line; an empty `host`
    // leaves the address out (every address of both families).
    explicit ResponderProcess(const std::vector<std::string>& options = {},
                              const std::string& host = "127.0.0.1");
    int port() const { return port_; }
    bool answering() const { return answering_; }
    ChildProcess& process() { return process_; }

  private:
    ChildProcess process_;
    int port_ = 0;
    bool answering_ = false;
};

} // namespace testsupport
