#include "engine/probe_header.h"

#include "util/bytes.h"

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
    return static_cast<uint32_t>(
        load_le(static_cast<const unsigned char*>(buffer) + at, PKTHDR_WORD_SIZE));
}

void pkthdr_set(void* buffer, int selector, uint32_t value) {
    const int at = word_offset(selector);
    if (at < 0) return;
    if ((selector == PKTHDR_SENDSIZE || selector == PKTHDR_RECVSIZE) && value < 16) value = 16;
    store_le(static_cast<unsigned char*>(buffer) + at, value, PKTHDR_WORD_SIZE);
}

void pkthdr_add_flags(void* buffer, uint32_t flags) {
    pkthdr_set(buffer, PKTHDR_WORD0, pkthdr_get(buffer, PKTHDR_WORD0) | flags);
}
