// The host text of a command line turned into the IPv4 address the line protocol prints.
// The protocol is IPv4-only. Accepted: a dotted quad (four decimal numbers 0..255 without
// leading zeros), or a host name that the name services resolve to an IPv4 address.
// Refused: any other numeric form (1.2.3, 127.1, 0x7f.1, 2130706433, 010.0.0.1), which the C
// library would read in an old shorthand as some other address, and any text with characters
// no host name has (a line end would put a forged line into the output).
#pragma once

#include <string>

struct host_address {
    std::string address; // dotted quad; empty when refused
    std::string error;   // why not, for a message
};

// Checks the text only; never looks a name up. Empty when `text` may be a host, else why not.
std::string host_text_problem(const std::string& text);

// Checks the text and, for a name, resolves it to its first IPv4 address.
host_address resolve_host_text(const std::string& text);
