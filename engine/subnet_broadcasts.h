// The broadcast addresses of the subnets this machine is on. A datagram sent to one reaches
// every host of the subnet, and one that claims to come from one is forged: no host has that
// address, and an answer to it would go to every host of the subnet.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The broadcast address of the prefix of `address` (host byte order): all host bits one. None
// for prefixes of /31 and /32, which have no broadcast address.
std::optional<uint32_t> prefix_broadcast(uint32_t address, uint32_t netmask);

// The broadcast addresses of every local interface's prefix, each once, in ascending order;
// nothing when the interfaces cannot be read.
std::optional<std::vector<uint32_t>> local_subnet_broadcasts();
