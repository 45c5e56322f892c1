// dnsmasq as the tests' real name server: started on port 53 of a loopback address of its own,
// with no upstream servers, no hosts file and no configuration file, answering only the
// records the test gives it.
#pragma once

#include "tests/support/child_process.h"

#include <memory>
#include <string>
#include <vector>

namespace dnstest {

class DnsmasqServer {
  public:
    // `records`: dnsmasq options such as "--host-record=a.test,127.0.9.1".
    explicit DnsmasqServer(const std::vector<std::string>& records);
    ~DnsmasqServer();
    DnsmasqServer(const DnsmasqServer&) = delete;
    DnsmasqServer& operator=(const DnsmasqServer&) = delete;

    const std::string& why_not() const { return why_not_; } // port 53 cannot be bound: skip
    const std::string& error() const { return error_; }     // dnsmasq did not come up: fail
    const std::string& address() const { return address_; }

  private:
    bool answers() const;

    std::unique_ptr<testsupport::ChildProcess> child_;
    std::string address_, why_not_, error_;
};

} // namespace dnstest
