#include "engine/responder_stamps.h"

namespace {

void put_le64(void* at, int64_t value) {
    auto* p = static_cast<unsigned char*>(at);
    const auto v = static_cast<uint64_t>(value);
    for (int k = 0; k < 8; ++k)
        p[k] = static_cast<unsigned char>(v >> (8 * k));
}

int64_t get_le64(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    uint64_t v = 0;
    for (int k = 0; k < 8; ++k)
        v |= uint64_t(p[k]) << (8 * k);
    return static_cast<int64_t>(v);
}

} // namespace

void stamps_write_received(void* echo, int64_t ns) {
    put_le64(static_cast<unsigned char*>(echo) + kStampReceivedOffset, ns);
}

void stamps_write_sent(void* echo, int64_t ns) {
    put_le64(static_cast<unsigned char*>(echo) + kStampSentOffset, ns);
}

std::optional<responder_stamps> stamps_read(const void* echo, int32_t size) {
    if (size < kStampedEchoSize) return std::nullopt;
    const auto* bytes = static_cast<const unsigned char*>(echo);
    const responder_stamps s{get_le64(bytes + kStampReceivedOffset),
                             get_le64(bytes + kStampSentOffset)};
    if (s.received_ns <= 0 || s.sent_ns <= 0 || s.sent_ns < s.received_ns) return std::nullopt;
    return s;
}
