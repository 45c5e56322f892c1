// The host text of a command line turned into the address the client measures against.
// Accepted: a dotted quad (four decimal numbers 0..255 without leading zeros), an IPv6 literal
// ("::1", "[::1]", "fe80::1%eth0": a link-local address needs its zone), or a host name that
// the name services resolve. Refused: any other numeric form (1.2.3, 127.1, 0x7f.1, 2130706433,
// 010.0.0.1), which the C library would read in an old shorthand as some other address, and any
// text with characters no host name or address has (a line end would put a forged line into
// the output).
#pragma once

#include <string>

// Which family a host must resolve to: either (the first address the name services give, as
// ping takes it), or only IPv4 (-4) or only IPv6 (-6).
enum class host_family { any, ipv4, ipv6 };

struct host_address {
    std::string address; // numeric text ("127.0.0.1", "::1", "fe80::1%eth0"); empty when refused
    std::string error;   // why not, for a message
};

// Checks the text only; never looks a name up. Empty when `text` may be a host, else why not.
std::string host_text_problem(const std::string& text);

// Checks the text and, for a name, resolves it to its first address of the family asked.
host_address resolve_host_text(const std::string& text, host_family family = host_family::any);
