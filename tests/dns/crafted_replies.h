// Replies a sound server does not send (or sends rarely), each with the result and the lines
// the decoder and printer must give. Shared by the parser tests and the fixture server tests.
#pragma once

#include "tests/dns/reply_builder.h"

#include <string>
#include <vector>

namespace dnstest {

inline constexpr const char* kQueried = "www.rebound.test";

using Lines = std::vector<std::string>;

// The four count lines that open every printed reply.
Lines counts(int questions, int answers, int authorities, int additionals);
// Lines followed by more lines.
Lines operator+(Lines a, const Lines& b);

struct CraftedReply {
    std::string what;
    Bytes bytes;
    int result; // of dns_parse_response
    std::vector<std::string> lines;
};

std::vector<CraftedReply> crafted_replies();

// The alias + address reply: www.rebound.test is an alias of web.rebound.test, 192.0.2.80.
Bytes alias_and_address_reply();

} // namespace dnstest
