// A stdio stream on standard output or standard error that never holds up a stop request.
// Its bytes go out through a nonblocking_output; while the output takes nothing (a pipe nobody
// reads, a terminal on hold) the writer waits for it with the stop signals open, so it waits as
// long as a blocking write would, yet a stop ends the wait at once. After a stop the output gets
// a short grace, once, to take what is left; the rest is dropped and counted. A pipe whose reader
// has gone asks for SIGPIPE's stop; any failure ends the writing for good and is kept for the
// caller to report, and the stream then shows an error (ferror). A descriptor that is closed
// when the object is made gets /dev/null in its place, so that no file the program opens later
// takes its number; writing to it is a failure (EBADF).
#pragma once

#include "platform/nonblocking_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace plat {

class stoppable_output {
  public:
    // A stream on descriptor `fd` with a buffer of `buffer` bytes, buffered as `mode` says
    // (_IOFBF, _IOLBF).
    stoppable_output(int fd, size_t buffer, int mode);
    ~stoppable_output(); // flushes what the stream holds
    stoppable_output(const stoppable_output&) = delete;
    stoppable_output& operator=(const stoppable_output&) = delete;

    // Null when no stream could be made.
    std::FILE* stream() const { return stream_; }
    // The errno of the failure that ended the writing, or 0.
    int failure() const { return failure_; }
    // Bytes dropped because the output did not take them within the grace after a stop.
    uint64_t dropped() const { return dropped_; }

  private:
    static bool sink(void* context, const char* data, size_t size);
    bool write_all(const char* data, size_t size);

    int failure_; // first: set before out_ opens the descriptor
    nonblocking_output out_;
    std::FILE* stream_ = nullptr;
    int64_t grace_end_ns_ = -1; // monotonic; set by the first write that waits after a stop
    uint64_t dropped_ = 0;
};

} // namespace plat
