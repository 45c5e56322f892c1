// Searching, reversing and reading little-endian numbers in caller-owned byte buffers.
#pragma once

#include <cstdint>

// The first position in `buffer` (of `size` bytes) where the bytes of the zero-ended `text`
// occur, a match ending at the last byte included; -1 when there is none. An empty text is
// found at 0 in any non-empty buffer; an empty or null buffer holds nothing.
int find_bytes(const char* text, const void* buffer, int size);

// Reverses the first `length` bytes of `buffer` in place and returns 0. Lengths above
// kMaxReverseBytes are refused: -1, the buffer is left as it was.
inline constexpr unsigned kMaxReverseBytes = 65536;
int reverse_bytes(void* buffer, unsigned length);

// The unsigned little-endian number in the `bytes` bytes (1 to 8) at `at`, and its store: the
// wire order of the probe header's words and of the responder's time stamps, whatever the
// host's order.
uint64_t load_le(const void* at, int bytes);
void store_le(void* at, uint64_t value, int bytes);

// The pointer's address, zero-extended to 64 bits.
uint64_t pointer_to_uint64(const void* pointer);
