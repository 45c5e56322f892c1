// The platform's name services: hosts, services and protocols. Every function first starts the
// socket service (sock_startup) and fails as stated when it does not start. Results are copied
// into caller-owned buffers before returning, so concurrent calls need no lock.
#pragma once

#include <cstdint>
#include <string>

// Size of the host name buffer of resolve_addr, terminator included.
inline constexpr int HOSTNAME_SIZE = 1025;
// Size of each address slot of resolve_host and resolve_host_all (a dotted IPv4 text).
inline constexpr int HOSTADDR_SIZE = 16;

// The port of a service name (host order). A name that is not known is read as a number with
// strtol base 0 (decimal, 0x hexadecimal, leading 0 octal), accepted only when the whole text
// is the number and it lies in 1..65535. -1 otherwise. A null protocol matches any protocol.
int service_to_port(const char* protocol, const char* service);

// The protocol number of a protocol name, or of a number text in 1..255 (read as above); -1.
int protocol_to_number(const char* protocol);

// The functions below copy a name into buffer[size], which is cleared over the name and its
// terminator first. A name that does not fit gives null (a cut name would name something else).

// The service name of a port, or the port as decimal text when no service has it.
char* port_to_service(const char* protocol, int port, char* buffer, int size);
// The first alias of a service, found by name or by port; null when not found or none.
char* service_alias_by_name(const char* protocol, const char* service, char* buffer, int size);
char* service_alias_by_port(const char* protocol, int port, char* buffer, int size);
// The name of a protocol number; null when not found.
char* number_to_protocol(int number, char* buffer, int size);
// The first alias of a protocol, found by name or by number; null when not found or none.
char* protocol_alias_by_name(const char* protocol, char* buffer, int size);
char* protocol_alias_by_number(int number, char* buffer, int size);

// The first IPv4 address of a host as dotted text into buffer[HOSTADDR_SIZE]; null when not
// found.
char* resolve_host(const char* host, char* buffer);

// The first address of a host of one family (AF_INET, AF_INET6) or of either (AF_UNSPEC), in
// the order the name services give them, as numeric text ("::1", "fe80::1%eth0"); empty when
// not found.
std::string resolve_host_family(const char* host, int family);

// The official host name of a dotted IPv4 address into buffer[HOSTNAME_SIZE]; null when none.
char* resolve_addr(const char* address, char* buffer);

// The host's IPv4 addresses, in the order of its entry, into up to `count` slots; the number
// written (0 when the host is not found), or SOCKERR_STARTUP (-1006).
int resolve_host_all(const char* host, char (*slots)[HOSTADDR_SIZE], int count);
