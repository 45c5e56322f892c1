// Searching and reversing caller-owned byte buffers.
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

// The pointer's address, zero-extended to 64 bits.
uint64_t pointer_to_uint64(const void* pointer);
