// Lines on their way from one producing thread to the one thread that writes them out: a ring
// of bytes that takes whole lines only. The producer never waits: a line that does not fit
// (the writer is behind) or that comes after logging was switched off is dropped and counted,
// and a dropped line never leaves a part of itself behind.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class line_queue {
  public:
    explicit line_queue(size_t capacity);

    // Producer side. Bytes may come in any pieces; a line is published at its end ('\n').
    // Returns true when the reader may need a wake-up: a published line made the queue
    // non-empty for a reader that had emptied it, or the queue dropped its first line.
    bool write(const char* data, size_t size);

    // Reader side: the oldest published bytes (not necessarily all of them), and their
    // release once written.
    std::span<const char> readable() const;
    void consume(size_t size);
    // Drops every published byte, counting its lines as dropped.
    void discard();

    // From now on every line is dropped and counted (the output has failed).
    void switch_off() { off_.store(true, std::memory_order_relaxed); }

    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    void count_dropped(uint64_t lines);

    std::unique_ptr<char[]> ring_;
    size_t capacity_;
    std::atomic<uint64_t> published_{0}; // bytes made visible to the reader, ever
    std::atomic<uint64_t> consumed_{0};  // bytes released by the reader, ever
    std::atomic<bool> off_{false};
    std::atomic<uint64_t> dropped_{0};
    // Producer only: bytes of the line being written, past published_.
    uint64_t pending_ = 0;
    bool dropping_ = false; // the line being written is already lost
};
