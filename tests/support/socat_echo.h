// socat as a standard UDP echo service (RFC 862: every datagram returned as it came, from the
// service's own port) on 127.0.0.1 and a free port, known to echo before the constructor
// returns; ended with the test.
#pragma once

#include "tests/support/child_process.h"

namespace testsupport {

class SocatEcho {
  public:
    static constexpr const char* kPath = "/usr/bin/socat";
    static bool installed();

    SocatEcho();
    int port() const { return port_; }
    bool echoing() const { return echoing_; }

  private:
    ChildProcess process_;
    int port_ = 0;
    bool echoing_ = false;
};

} // namespace testsupport
