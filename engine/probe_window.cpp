#include "engine/probe_window.h"

#include <bit>

probe_window::probe_window(size_t capacity)
    : slots_(std::bit_ceil(capacity < 1 ? size_t{1} : capacity)), mask_(slots_.size() - 1) {}

probe_slot& probe_window::open(int64_t index) {
    probe_slot& slot = slots_[size_t(index) & mask_];
    slot = probe_slot{};
    slot.index = index;
    if (index > newest_) newest_ = index;
    return slot;
}

probe_slot* probe_window::find(int64_t index) {
    if (index < 0) return nullptr;
    probe_slot& slot = slots_[size_t(index) & mask_];
    return slot.index == index ? &slot : nullptr;
}
