#include "tools/output_writer.h"

#include "platform/sink_stream.h"

#include <cstring>
#include <string>

namespace {

// Lines a loop may have waiting for the output: about ten thousand datagrams' worth.
constexpr size_t kQueueBytes = size_t{1} << 20;
// A loop's stdio buffer: one batch of lines fits, so a batch reaches its queue in one piece.
constexpr size_t kStreamBuffer = size_t{64} << 10;

int milliseconds_until(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

output_writer::loop_output::loop_output(output_writer* o) : queue(kQueueBytes), owner(o) {
    stream = plat::open_sink_stream(&output_writer::sink, this, kStreamBuffer);
}

output_writer::output_writer(int loops, int out, int err) : out_(out), err_(err) {
    for (int i = 0; i < loops; ++i)
        loops_.push_back(std::make_unique<loop_output>(this));
}

output_writer::~output_writer() {
    for (auto& l : loops_) {
        l->queue.switch_off(); // whatever a stream still holds is not written any more
        if (l->stream) std::fclose(l->stream);
    }
}

bool output_writer::sink(void* context, const char* data, size_t size) {
    auto* l = static_cast<loop_output*>(context);
    if (l->queue.write(data, size)) l->owner->wake_.set();
    return true; // a line that does not fit is dropped and counted, never an error
}

bool output_writer::pending() const {
    for (const auto& l : loops_)
        if (!l->queue.readable().empty()) return true;
    return false;
}

void output_writer::pump() {
    wake_.clear();
    if (stopped_) {
        for (auto& l : loops_)
            l->queue.discard();
        return;
    }
    write_queued();
    if (!told_behind_ && !stopped_ && dropped() > 0) {
        told_behind_ = true;
        tell("reboundsrv: standard output is not keeping up; lines are dropped and counted, "
             "serving goes on");
    }
}

void output_writer::write_queued() {
    for (bool progress = true; progress;) {
        progress = false;
        // Looked at from the last queue to the first, then written from the first: a line
        // another loop published after loop 0's start lines is never written before them.
        std::vector<std::span<const char>> ready(loops_.size());
        for (size_t i = loops_.size(); i-- > 0;)
            ready[i] = loops_[i]->queue.readable();
        for (size_t i = 0; i < loops_.size(); ++i) {
            while (!ready[i].empty()) {
                const long n = out_.write_some(ready[i].data(), ready[i].size());
                if (n < 0) return stop_logging(errno);
                if (n == 0) return; // the output is full: wait until it is writable
                loops_[i]->queue.consume(size_t(n));
                ready[i] = ready[i].subspan(size_t(n));
                progress = true;
            }
        }
    }
}

void output_writer::finish(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        pump();
        if (stopped_ || !pending()) break;
        const int left = milliseconds_until(deadline);
        if (left == 0) break;
        plat::wait_item item;
        item.fd = out_.wait_fd();
        item.write = true;
        plat::wait_any(&item, 1, left);
    }
    for (auto& l : loops_)
        l->queue.discard();
}

uint64_t output_writer::dropped() const {
    uint64_t n = 0;
    for (const auto& l : loops_)
        n += l->queue.dropped();
    return n;
}

void output_writer::tell(const std::string& line) {
    const std::string text = line + "\n";
    err_.write_some(text.data(), text.size());
}

void output_writer::stop_logging(int error) {
    stopped_ = true;
    for (auto& l : loops_) {
        l->queue.switch_off();
        l->queue.discard();
    }
    tell(std::string("reboundsrv: standard output failed (") + std::strerror(error) +
         "); logging stopped, serving goes on");
}
