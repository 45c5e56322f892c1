// The responder's time stamps in an echo, given when the probe asks for them
// (kProbeFlagWantStamps in header word 0). They follow the 16-byte header:
//
//   bytes 16-23  when the responder received the probe: the kernel's receive stamp where
//                there is one, else the clock read when the datagram was taken
//   bytes 24-31  when the responder sent the echo: read right before the send call
//
// Each is a signed 64-bit little-endian count of nanoseconds since 1970 on the responder's
// wall clock (CLOCK_REALTIME). An echo of fewer than kStampedEchoSize bytes carries none.
// With them, a responder that read the traffic class the probe arrived with (the IPv4
// type-of-service byte or the IPv6 traffic class, DSCP and ECN) puts it in byte 1 of the header
// (bits 8-15 of word 0) and sets kProbeFlagArrivalClass, so the client learns what the path
// did to its marking on the way there.
#pragma once

#include "engine/probe_header.h"

#include <cstdint>
#include <optional>

inline constexpr int kStampReceivedOffset = PKTHDR_SIZE;
inline constexpr int kStampSentOffset = PKTHDR_SIZE + 8;
inline constexpr int kStampedEchoSize = PKTHDR_SIZE + 16;

struct responder_stamps {
    int64_t received_ns;
    int64_t sent_ns;
};

void stamps_write_received(void* echo, int64_t ns);
void stamps_write_sent(void* echo, int64_t ns);

// The stamps of an echo of `size` bytes; nothing when it is too short to hold them, or when
// they make no sense (either is 0, or the echo left before its probe arrived): an echo service
// that returns the probe as it came gives zeros, and wrong numbers are never used.
std::optional<responder_stamps> stamps_read(const void* echo, int32_t size);

// The traffic class byte (0..255) into the echo's header, with its flag.
void stamps_write_arrival_class(void* echo, int traffic_class);
// The traffic class the responder read, from an echo of `size` bytes; nothing when it gave none.
std::optional<int> stamps_arrival_class(const void* echo, int32_t size);
