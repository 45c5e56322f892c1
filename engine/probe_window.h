// What a run remembers of its probes: one slot for each of the latest probes, in a ring whose
// size is fixed when the run starts, so a run's memory does not grow with its length. An echo
// whose probe has left the ring (more than capacity() probes were sent after it) can no longer
// be matched: it is past the late window and counted as such.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct probe_slot {
    int64_t index = -1; // the probe this slot holds; -1 while unused
    int64_t wall_ns = 0; // read right before the send call; pairs with kernel receive stamps
    int64_t mono_ns = 0; // read right before the send call; pairs with user-space readings
    uint8_t state = 0;   // probe_state bits
};

enum probe_state : uint8_t { kProbeSent = 1, kProbeAnswered = 2 };

class probe_window {
  public:
    // The late window of every run: an echo is matched while at most this many probes were
    // sent after its own (1.5 MiB of slots).
    static constexpr size_t kDefaultCapacity = size_t{1} << 16;

    explicit probe_window(size_t capacity = kDefaultCapacity); // rounded up to a power of two

    // The slot of a new probe, emptied; it replaces the probe capacity() indexes before it.
    probe_slot& open(int64_t index);
    // The slot of probe `index` while the ring still holds it, else null.
    probe_slot* find(int64_t index);
    const probe_slot* find(int64_t index) const;
    // Whether `index` was opened once and has since left the ring.
    bool expired(int64_t index) const { return index >= 0 && index <= newest_ - int64_t(capacity()); }
    size_t capacity() const { return slots_.size(); }

  private:
    std::vector<probe_slot> slots_;
    size_t mask_;
    int64_t newest_ = -1;
};
