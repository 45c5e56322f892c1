#include "util/bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

int find_bytes(const char* text, const void* buffer, int size) {
    if (text == nullptr || buffer == nullptr || size <= 0) return -1;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const size_t len = std::strlen(text);
    const auto n = static_cast<size_t>(size);
    if (len > n) return -1;
    for (size_t j = 0; j <= n - len; ++j)
        if (std::memcmp(bytes + j, text, len) == 0) return static_cast<int>(j);
    return -1;
}

int reverse_bytes(void* buffer, unsigned length) {
    if (length == 0) return 0;
    if (buffer == nullptr || length > kMaxReverseBytes) return -1;
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::reverse(bytes, bytes + length);
    return 0;
}

uint64_t pointer_to_uint64(const void* pointer) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
}

uint64_t load_le(const void* at, int bytes) {
    const auto* p = static_cast<const unsigned char*>(at);
    uint64_t v = 0;
    for (int k = 0; k < bytes; ++k)
        v |= uint64_t(p[k]) << (8 * k);
    return v;
}

void store_le(void* at, uint64_t value, int bytes) {
    auto* p = static_cast<unsigned char*>(at);
    for (int k = 0; k < bytes; ++k)
        p[k] = static_cast<unsigned char>(value >> (8 * k));
}
