// Writing to standard output or standard error without ever blocking, whatever they are: a
// file, a terminal, a pipe or socket whose reader is slow or gone. The program's descriptor is
// left as it is (its open file description is shared with the shell and with other programs);
// where the output is a pipe, FIFO or terminal, a private non-blocking description of the same
// object is opened instead.
#pragma once

#include <cstddef>

namespace plat {

class nonblocking_output {
  public:
    explicit nonblocking_output(int fd);
    ~nonblocking_output();
    nonblocking_output(const nonblocking_output&) = delete;
    nonblocking_output& operator=(const nonblocking_output&) = delete;

    // Writes what the output takes now: the bytes written (0 when it takes nothing without
    // blocking), or -1 when it failed for good (errno set: EPIPE when its reader is gone).
    long write_some(const char* data, size_t size);

    // The descriptor to wait on for writability.
    int wait_fd() const { return fd_; }

  private:
    enum class mode { plain, socket, polled };
    int fd_ = -1;
    bool owned_ = false;
    mode mode_ = mode::plain;
    int failure_ = 0; // errno of a failure found when opening, reported by the first write
};

} // namespace plat
