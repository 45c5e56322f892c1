// Two network namespaces of the test's own joined by a veth pair, so that broadcasts on a real
// subnet can be sent and received without anything leaving the machine: "near" has 10.99.0.1/24
// on its end, "far" 10.99.0.2/24; both have their loopback up. Made with `ip` (needs root) and
// removed again, with everything in them, when the object goes.
#pragma once

#include "tests/support/ip_command.h"

#include <string>
#include <vector>

namespace testsupport {

class VethNamespaces {
  public:
    static constexpr const char* kNearAddress = "10.99.0.1";
    static constexpr const char* kFarAddress = "10.99.0.2";
    static constexpr const char* kSubnetBroadcast = "10.99.0.255";

    VethNamespaces();
    ~VethNamespaces();
    VethNamespaces(const VethNamespaces&) = delete;
    VethNamespaces& operator=(const VethNamespaces&) = delete;

    // Empty when both namespaces are ready, else what failed.
    const std::string& error() const { return error_; }
    const std::string& near() const { return near_; }
    const std::string& far() const { return far_; }

    // Puts one more /24 subnet on the pair: `near_address` on the near end, `far_address` on
    // the far one. False on failure (error() says why).
    bool add_subnet(const std::string& near_address, const std::string& far_address);

    // A socket made inside namespace `ns`; it stays there whichever thread uses it. -1 on
    // failure.
    static int socket_in(const std::string& ns, int domain, int type, int protocol);

    // The program that runs others inside a namespace, and its arguments that run `program`
    // with `args` inside namespace `ns` (it execs the program, which keeps its process id).
    static constexpr const char* kIp = kIpCommand;
    static std::vector<std::string> run_in(const std::string& ns, const std::string& program,
                                           const std::vector<std::string>& args);

  private:
    bool ip(const std::vector<std::string>& args);

    std::string near_, far_, near_end_, far_end_, error_;
    std::vector<std::string> made_; // namespaces to remove
};

} // namespace testsupport
