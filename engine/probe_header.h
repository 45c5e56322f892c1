// The 16-byte header that starts every probe datagram and echo: four little-endian 32-bit
// words, addressed by selector code rather than by position.
#pragma once

#include <cstdint>

inline constexpr int PKTHDR_WORD0 = 1;    // flags (kProbeFlag...), 0 from a client asking nothing
inline constexpr int PKTHDR_SEQ = 5;      // sequence number
inline constexpr int PKTHDR_SENDSIZE = 6; // datagram size, at least 16
inline constexpr int PKTHDR_RECVSIZE = 7; // echo size asked of the responder, at least 16

inline constexpr int PKTHDR_SIZE = 16;
inline constexpr int PKTHDR_WORD_SIZE = 4;

// Flags of word 0.
//
// The echo mark: the responder sets it in every echo that carries word 0 whole, and never
// answers a datagram of at least one word that arrives with it set. One forged datagram
// therefore cannot keep two responders, or a responder and an echo service that returns what it
// gets, bouncing it between them: the first bounce is refused. Clients read only words 1-3, so
// the mark changes nothing for them.
inline constexpr uint32_t kProbeFlagEcho = 0x1u;
// Asked by a client that wants the responder's time stamps in its echo. A responder that gives
// none echoes such a probe like any other.
inline constexpr uint32_t kProbeFlagWantStamps = 0x2u;
// Set by a responder in an echo with its stamps when it read the traffic class the probe
// arrived with: the second byte of word 0 then holds it (responder_stamps.h).
inline constexpr uint32_t kProbeFlagArrivalClass = 0x4u;
// Where the sequence number lies in a datagram: a probe shorter than kSeqOffset + kSeqBytes
// carries only its low bytes.
inline constexpr int kSeqOffset = PKTHDR_WORD_SIZE; // word 1
inline constexpr int kSeqBytes = PKTHDR_WORD_SIZE;

// The one datagram buffer of the client and of the responder: sends and receives never go
// beyond it.
inline constexpr int kTransferBufferSize = 65536;

// The word for a known selector; 0 for any other.
uint32_t pkthdr_get(const void* buffer, int selector);

// Sets `flags` in word 0 of the header at `buffer` (at least PKTHDR_WORD_SIZE bytes).
void pkthdr_add_flags(void* buffer, uint32_t flags);

// Stores the word for a known selector (sizes 0..15, compared unsigned, become 16); any other
// selector leaves the buffer untouched.
void pkthdr_set(void* buffer, int selector, uint32_t value);
