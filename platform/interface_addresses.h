// The IPv4 addresses of this machine's interfaces, each with its prefix, as the kernel holds
// them at the moment of the call.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace plat {

struct interface_ipv4 {
    uint32_t address = 0; // host byte order
    uint32_t netmask = 0; // host byte order
};

// Every IPv4 address of every interface (up or not); nothing when the kernel cannot be asked.
std::optional<std::vector<interface_ipv4>> interface_ipv4_addresses();

} // namespace plat
