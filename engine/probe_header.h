// The 16-byte header that starts every probe datagram and echo: four little-endian 32-bit
// words, addressed by selector code rather than by position.
#pragma once

#include <cstdint>

inline constexpr int PKTHDR_WORD0 = 1;    // reserved, always 0 from the client
inline constexpr int PKTHDR_SEQ = 5;      // sequence number
inline constexpr int PKTHDR_SENDSIZE = 6; // datagram size, at least 16
inline constexpr int PKTHDR_RECVSIZE = 7; // echo size asked of the responder, at least 16

inline constexpr int PKTHDR_SIZE = 16;
// Where the sequence number lies in a datagram: a probe shorter than kSeqOffset + kSeqBytes
// carries only its low bytes.
inline constexpr int kSeqOffset = 4;
inline constexpr int kSeqBytes = 4;

// The one datagram buffer of the client and of the responder: sends and receives never go
// beyond it.
inline constexpr int kTransferBufferSize = 65536;

// The word for a known selector; 0 for any other.
uint32_t pkthdr_get(const void* buffer, int selector);

// Stores the word for a known selector (sizes 0..15, compared unsigned, become 16); any other
// selector leaves the buffer untouched.
void pkthdr_set(void* buffer, int selector, uint32_t value);
