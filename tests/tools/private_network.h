// Puts the test process (and every program it starts afterwards) into a network namespace of
// its own with only the loopback interface, up, and a hosts file of its own: host names the
// test resolves are the ones it wrote, and no look-up or datagram can leave the namespace.
#pragma once

#include <string>

namespace testsupport {

// Empty on success, else why the namespaces could not be set up.
std::string enter_private_network(const std::string& hosts_contents);

} // namespace testsupport
