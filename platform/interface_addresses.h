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

// The index of the interface with this name, 0 when there is none. It names the zone of an
// IPv6 link-local address ("fe80::1%eth0").
unsigned interface_index(const char* name);

// The name of the interface with this index into out[size]; false when there is none or it
// does not fit.
bool interface_name(unsigned index, char* out, int size);

} // namespace plat
