#include "engine/probe_window.h"

#include <bit>
#include <utility>

probe_window::probe_window(size_t capacity)
    : slots_(std::bit_ceil(capacity < 1 ? size_t{1} : capacity)), mask_(slots_.size() - 1) {}

probe_slot& probe_window::open(int64_t index) {
    probe_slot& slot = slots_[size_t(index) & mask_];
    slot = probe_slot{};
    slot.index = index;
    if (index > newest_) newest_ = index;
    return slot;
}

const probe_slot* probe_window::find(int64_t index) const {
    if (index < 0) return nullptr;
    const probe_slot& slot = slots_[size_t(index) & mask_];
    return slot.index == index ? &slot : nullptr;
}

probe_slot* probe_window::find(int64_t index) {
    return const_cast<probe_slot*>(std::as_const(*this).find(index));
}
