// Gives the test process its own /etc/hosts (and a host look-up that never leaves the files
// database) in a private mount namespace, so host tests use names they put in place themselves
// and no look-up can reach a name server.
#pragma once

#include <string>

namespace testsupport {

// Empty on success, else why the namespace could not be set up.
std::string isolate_name_files(const std::string& hosts_contents);

} // namespace testsupport
