// /usr/sbin/ip, as tests that make their own network namespaces run it.
#pragma once

#include "tests/support/child_process.h"

#include <string>
#include <vector>

namespace testsupport {

inline constexpr const char* kIpCommand = "/usr/sbin/ip";

// Runs ip with `args`; empty on success, else the command line and what ip said.
inline std::string run_ip(const std::vector<std::string>& args) {
    ChildProcess ip;
    if (ip.start(kIpCommand, args) && ip.wait() && ip.exit_code() == 0) return "";
    std::string command = "ip";
    for (const auto& a : args) command += " " + a;
    return command + " failed: " + ip.err();
}

} // namespace testsupport
