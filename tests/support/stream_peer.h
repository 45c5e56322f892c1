// Connected stream sockets for tests that play the peer of a library socket: TCP over
// 127.0.0.1 and local sockets over a path in a fresh temporary directory.
#pragma once

#include <string>

namespace testsupport {

// A TCP listener on 127.0.0.1 on a free port.
class TcpListener {
  public:
    explicit TcpListener(int backlog = 8);
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    int fd() const { return fd_; }
    int port() const { return port_; }
    int accept(); // the accepted socket, or -1

  private:
    int fd_ = -1;
    int port_ = 0;
};

// Two connected ends, both closed on destruction unless taken: `near` is the end the library
// works on, `far` the end the test plays.
struct StreamPair {
    StreamPair() = default;
    StreamPair(StreamPair&& other) noexcept;
    StreamPair& operator=(StreamPair&&) = delete;
    ~StreamPair();

    int near = -1;
    int far = -1;
    void close_far(); // an orderly close of the test's end
    void reset_far(); // closes the test's end with a reset (linger on, 0 seconds)
};

StreamPair tcp_pair();
// The local pair is made by binding and connecting on `dir`/sock, not socketpair(), so the
// library sees a socket of family AF_UNIX with a path address.
StreamPair local_pair(const std::string& dir);

// A fresh directory under /tmp, removed with its files on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Writes all of `bytes` (blocking); false on failure.
bool write_all(int fd, const std::string& bytes);
// Bytes readable on `fd` right now, without consuming them (at most 64 KiB).
std::string peek_available(int fd);

} // namespace testsupport
