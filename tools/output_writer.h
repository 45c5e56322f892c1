// reboundsrv's standard output, kept off the service path. Each receive loop prints into a
// stdio stream of its own whose bytes go into that loop's line_queue; one writer, on the
// supervising thread, moves whole lines from the queues to standard output without ever
// blocking. When the output cannot keep up, lines are dropped and counted; when it fails (a
// closed pipe, a full disk), logging stops for good. Either way serving goes on, and standard
// error gets one message saying so.
#pragma once

#include "platform/event_wait.h"
#include "platform/nonblocking_output.h"
#include "tools/line_queue.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class output_writer {
  public:
    // One stream per receive loop; `out` and `err` are the descriptors of standard output and
    // standard error.
    output_writer(int loops, int out, int err);
    ~output_writer();
    output_writer(const output_writer&) = delete;
    output_writer& operator=(const output_writer&) = delete;

    // The stream a loop prints into; the loop fflush()es it when it wants its lines on their
    // way (at the end of each batch).
    std::FILE* stream(int loop) const { return loops_[size_t(loop)]->stream; }

    // What the supervisor waits on: readable when a queue the writer had emptied got a line;
    // and the output's descriptor, worth waiting on for writability while pending() holds.
    int wake_fd() const { return wake_.fd(); }
    int output_fd() const { return out_.wait_fd(); }
    bool pending() const;

    // Writes what the output takes now. Call after every wait.
    void pump();

    // After the loops have ended: writes what is left until `deadline`, then drops the rest.
    void finish(std::chrono::steady_clock::time_point deadline);

    uint64_t dropped() const;

    // A line on standard error, written only if it can be written at once.
    void tell(const std::string& line);

  private:
    struct loop_output {
        line_queue queue;
        output_writer* owner;
        std::FILE* stream = nullptr;
        explicit loop_output(output_writer* o);
    };
    static bool sink(void* context, const char* data, size_t size);
    // Moves lines until the queues are empty or the output takes no more.
    void write_queued();
    void stop_logging(int error);

    std::vector<std::unique_ptr<loop_output>> loops_;
    plat::wake_event wake_;
    plat::nonblocking_output out_;
    plat::nonblocking_output err_;
    bool stopped_ = false;
    bool told_behind_ = false;
};
