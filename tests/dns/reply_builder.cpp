#include "tests/dns/reply_builder.h"

namespace dnstest {

Bytes wire(const std::string& dotted) {
    Bytes out;
    size_t start = 0;
    while (start < dotted.size()) {
        size_t dot = dotted.find('.', start);
        if (dot == std::string::npos) dot = dotted.size();
        out.push_back(static_cast<uint8_t>(dot - start));
        out.insert(out.end(), dotted.begin() + static_cast<long>(start),
                   dotted.begin() + static_cast<long>(dot));
        start = dot + 1;
    }
    out.push_back(0);
    return out;
}

std::string name_of_length(size_t n) {
    std::string s;
    while (n - s.size() > 63) {
        // 63 characters and a dot, or 62 when exactly 64 remain (no empty last label).
        s += std::string(n - s.size() == 64 ? 62 : 63, 'n') + '.';
    }
    return s + std::string(n - s.size(), 'n');
}

Bytes pointer(int offset) {
    return {static_cast<uint8_t>(0xC0 | (offset >> 8)), static_cast<uint8_t>(offset)};
}

Bytes labels_then_pointer(const std::string& dotted, int offset) {
    Bytes out = wire(dotted);
    out.pop_back();
    const Bytes p = pointer(offset);
    out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes answer_to(const Bytes& query, Bytes reply) {
    for (size_t i = 0; i < 2 && i < query.size() && i < reply.size(); ++i)
        reply[i] = query[i];
    return reply;
}

Reply Reply::header(int questions, int answers, int authorities, int additionals) {
    Reply r;
    r.u16(0x1234).u16(0x8180).u16(questions).u16(answers).u16(authorities).u16(additionals);
    return r;
}

Reply Reply::answering(const std::string& name, int answers, int authorities, int additionals) {
    Reply r = header(1, answers, authorities, additionals);
    return std::move(r.raw(wire(name)).u16(1).u16(1));
}

Reply& Reply::raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

Reply& Reply::u16(int v) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
}

Reply& Reply::u32(uint32_t v) {
    return u16(static_cast<int>(v >> 16)).u16(static_cast<int>(v & 0xFFFF));
}

Reply& Reply::record(const Bytes& owner, int type, const Bytes& data) {
    return record_stating(owner, type, static_cast<int>(data.size()), data);
}

Reply& Reply::record_stating(const Bytes& owner, int type, int stated_length, const Bytes& data) {
    return raw(owner).u16(type).u16(1).u32(300).u16(stated_length).raw(data);
}

} // namespace dnstest
