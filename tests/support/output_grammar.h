// The shapes of every output line of the client and the responder, with the time text and the
// numbers as patterns, so a test can check that each printed line is one of them.
#pragma once

#include <string>
#include <vector>

namespace grammar {

// The name of the line kind `line` matches ("send", "recv1", "stat-sendpkts", ...), or "".
std::string kind_of(const std::string& line);

// Lines that match no kind, for a readable failure message.
std::vector<std::string> unmatched(const std::vector<std::string>& lines);

// The lines of one kind, in order.
std::vector<std::string> of_kind(const std::vector<std::string>& lines, const std::string& kind);

// "ipv4" when the line holds a dotted endpoint (127.0.0.1:33333), "ipv6" when it holds a
// bracketed one ([::1]:33333); "" for neither or both.
std::string endpoint_family(const std::string& line);

// A decimal field "name=123" of a line, or -1.
long field(const std::string& line, const std::string& name);

} // namespace grammar
