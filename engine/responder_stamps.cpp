#include "engine/responder_stamps.h"

#include "util/bytes.h"

namespace {

constexpr int kStampBytes = 8;

} // namespace

void stamps_write_received(void* echo, int64_t ns) {
    store_le(static_cast<unsigned char*>(echo) + kStampReceivedOffset, uint64_t(ns), kStampBytes);
}

void stamps_write_sent(void* echo, int64_t ns) {
    store_le(static_cast<unsigned char*>(echo) + kStampSentOffset, uint64_t(ns), kStampBytes);
}

// Byte 1 of the header: bits 8-15 of word 0, little-endian.
constexpr int kArrivalClassByte = 1;

void stamps_write_arrival_class(void* echo, int traffic_class) {
    auto* bytes = static_cast<unsigned char*>(echo);
    bytes[kArrivalClassByte] = static_cast<unsigned char>(traffic_class);
    pkthdr_add_flags(echo, kProbeFlagArrivalClass);
}

std::optional<int> stamps_arrival_class(const void* echo, int32_t size) {
    if (size < kStampedEchoSize || !(pkthdr_get(echo, PKTHDR_WORD0) & kProbeFlagArrivalClass))
        return std::nullopt;
    return static_cast<const unsigned char*>(echo)[kArrivalClassByte];
}

std::optional<responder_stamps> stamps_read(const void* echo, int32_t size) {
    if (size < kStampedEchoSize) return std::nullopt;
    const auto* bytes = static_cast<const unsigned char*>(echo);
    const responder_stamps s{int64_t(load_le(bytes + kStampReceivedOffset, kStampBytes)),
                             int64_t(load_le(bytes + kStampSentOffset, kStampBytes))};
    if (s.received_ns <= 0 || s.sent_ns <= 0 || s.sent_ns < s.received_ns) return std::nullopt;
    return s;
}
