// Crafted DNS replies for the tests: a header, the question, and records with any bytes, so
// the tests can build what a sound server never sends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dnstest {

using Bytes = std::vector<uint8_t>;

// Wire form of a dotted name: labels and the final zero byte ("" gives the root).
Bytes wire(const std::string& dotted);
// A dotted name of exactly n characters, in labels of at most 63.
std::string name_of_length(size_t n);
// A compression pointer to `offset`.
Bytes pointer(int offset);
// Labels without the final zero byte, followed by a pointer.
Bytes labels_then_pointer(const std::string& dotted, int offset);

// `reply` with the identifier of `query`, as the server's answer to it.
Bytes answer_to(const Bytes& query, Bytes reply);

struct Reply {
    Bytes bytes;

    // Header with the given counts (identifier 0x1234, a response with recursion).
    static Reply header(int questions, int answers, int authorities, int additionals);
    // Header plus the question of `name` (type 1, class 1), as a server echoes it.
    static Reply answering(const std::string& name, int answers, int authorities = 0,
                           int additionals = 0);

    Reply& raw(const Bytes& b);
    Reply& u16(int v);
    Reply& u32(uint32_t v);
    // One record: owner name bytes, type, class 1, ttl 300, the data length and the data.
    Reply& record(const Bytes& owner, int type, const Bytes& data);
    // The same with a stated data length that differs from the data given.
    Reply& record_stating(const Bytes& owner, int type, int stated_length, const Bytes& data);
    int size() const { return static_cast<int>(bytes.size()); }
};

} // namespace dnstest
