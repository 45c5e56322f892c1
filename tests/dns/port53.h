// Port 53 on loopback addresses of the tests' own (127.53.N.1): the query's port is fixed, so
// tests running side by side each take another address.
#pragma once

#include <string>

namespace dnstest {

struct Port53 {
    int fd = -1;         // a UDP socket bound to address:53, or -1
    std::string address; // dotted text
    std::string why_not; // set when port 53 cannot be bound at all
};

// Binds a UDP socket to port 53 of the first free address, starting at one chosen by the
// process identifier. With `also_tcp`, the address's TCP port 53 must be free as well.
Port53 bind_port53(bool also_tcp = false, int skip = 0);

} // namespace dnstest
