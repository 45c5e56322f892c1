#include "tools/line_queue.h"

#include <algorithm>
#include <cstring>

line_queue::line_queue(size_t capacity)
    : ring_(std::make_unique<char[]>(capacity)), capacity_(capacity) {}

void line_queue::count_dropped(uint64_t lines) {
    dropped_.fetch_add(lines, std::memory_order_relaxed);
}

bool line_queue::write(const char* data, size_t size) {
    bool woke = false;
    while (size > 0) {
        const char* end = static_cast<const char*>(std::memchr(data, '\n', size));
        const size_t piece = end ? static_cast<size_t>(end - data) + 1 : size;
        const uint64_t published = published_.load(std::memory_order_relaxed);
        if (!dropping_) {
            const uint64_t used = published + pending_ - consumed_.load(std::memory_order_acquire);
            if (off_.load(std::memory_order_relaxed) || capacity_ - used < piece) {
                dropping_ = true;
                pending_ = 0;
            } else {
                for (size_t copied = 0; copied < piece;) {
                    const size_t at = (published + pending_ + copied) % capacity_;
                    const size_t n = std::min(piece - copied, capacity_ - at);
                    std::memcpy(&ring_[at], data + copied, n);
                    copied += n;
                }
                pending_ += piece;
            }
        }
        if (end) { // the line is complete
            if (dropping_) {
                // The reader learns of the first loss at once, so it can say so.
                woke |= dropped_.fetch_add(1, std::memory_order_relaxed) == 0;
            } else {
                // Dekker-style: publish, then look whether the reader had caught up. The reader
                // releases, then looks again before it sleeps, so one of the two sees the other.
                published_.store(published + pending_, std::memory_order_seq_cst);
                woke |= consumed_.load(std::memory_order_seq_cst) == published;
            }
            dropping_ = false;
            pending_ = 0;
        }
        data += piece;
        size -= piece;
    }
    return woke;
}

std::span<const char> line_queue::readable() const {
    const uint64_t consumed = consumed_.load(std::memory_order_relaxed);
    const uint64_t published = published_.load(std::memory_order_seq_cst);
    const size_t at = consumed % capacity_;
    const size_t n = std::min<uint64_t>(published - consumed, capacity_ - at);
    return {&ring_[at], n};
}

void line_queue::consume(size_t size) {
    consumed_.store(consumed_.load(std::memory_order_relaxed) + size, std::memory_order_seq_cst);
}

void line_queue::discard() {
    for (auto bytes = readable(); !bytes.empty(); bytes = readable()) {
        count_dropped(static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), '\n')));
        consume(bytes.size());
    }
}
