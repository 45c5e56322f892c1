// The operating system's address text conversions and name services (hosts, services,
// protocols), and the process identifier. Each look-up copies what it found before returning,
// so callers never hold on to the C library's shared entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Standard text of a raw address (4 bytes for AF_INET, 16 for AF_INET6) into out[size].
// 0 on success; -1 on failure (unsupported family, text does not fit), the code left for
// last_socket_error().
int address_to_text(int family, const void* raw, char* out, int size);

// Raw address of a text: 1 when converted, 0 when the text is not an address of the family,
// -1 for a family that is not supported (code left for last_socket_error()).
int text_to_address(int family, const char* text, void* raw);

// A service or protocol entry: its official name, its first alias (empty when it has none) and
// its number (a port in host byte order, or a protocol number).
struct NameEntry {
    std::string name;
    std::string first_alias;
    bool has_alias = false;
    int number = 0;
};

// Each gives false when the entry is not found. A null protocol matches any protocol.
bool service_by_name(const char* service, const char* protocol, NameEntry* out);
bool service_by_port(int port, const char* protocol, NameEntry* out); // port in host order
bool protocol_by_name(const char* protocol, NameEntry* out);
bool protocol_by_number(int number, NameEntry* out);

// The IPv4 addresses of a host (network byte order) in the order of its entry; false when the
// host is not found.
bool host_ipv4_addresses(const char* host, std::vector<uint32_t>* out);

// The addresses of a host of one family (AF_INET, AF_INET6) or of both (AF_UNSPEC) as numeric
// texts ("192.0.2.1", "2001:db8::1", "fe80::1%eth0"), in the order the name services give them
// (getaddrinfo, which sorts them by the system's address selection); false when not found.
bool host_addresses(const char* host, int family, std::vector<std::string>* out);

// The official name of the host with this IPv4 address (network byte order); false when none.
bool host_name_of_ipv4(uint32_t address, std::string* out);

int process_id();

} // namespace plat
