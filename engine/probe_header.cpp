#include "engine/probe_header.h"

namespace {

// Byte offset of the selector's word, or -1.
int word_offset(int selector) {
    switch (selector) {
    case PKTHDR_WORD0:
        return 0;
    case PKTHDR_SEQ:
        return 4;
    case PKTHDR_SENDSIZE:
        return 8;
    case PKTHDR_RECVSIZE:
        return 12;
    default:
        return -1;
    }
}

} // namespace

uint32_t pkthdr_get(const void* buffer, int selector) {
    const int at = word_offset(selector);
    if (at < 0) return 0;
    const auto* p = static_cast<const unsigned char*>(buffer) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void pkthdr_set(void* buffer, int selector, uint32_t value) {
    const int at = word_offset(selector);
    if (at < 0) return;
    if ((selector == PKTHDR_SENDSIZE || selector == PKTHDR_RECVSIZE) && value < 16) value = 16;
    auto* p = static_cast<unsigned char*>(buffer) + at;
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<unsigned char>(value >> (8 * k));
}

void pkthdr_add_flags(void* buffer, uint32_t flags) {
    pkthdr_set(buffer, PKTHDR_WORD0, pkthdr_get(buffer, PKTHDR_WORD0) | flags);
}
