#include "tests/support/stream_peer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

TcpListener::TcpListener(int backlog) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
}

TcpListener::~TcpListener() {
    if (fd_ >= 0) ::close(fd_);
}

int TcpListener::accept() {
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

StreamPair::StreamPair(StreamPair&& other) noexcept : near(other.near), far(other.far) {
    other.near = other.far = -1;
}

StreamPair::~StreamPair() {
    if (near >= 0) ::close(near);
    if (far >= 0) ::close(far);
}

void StreamPair::close_far() {
    ::close(far);
    far = -1;
}

void StreamPair::reset_far() {
    const linger lg{1, 0};
    ::setsockopt(far, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    close_far();
}

StreamPair tcp_pair() {
    TcpListener listener;
    StreamPair pair;
    pair.near = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(listener.port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(pair.near, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        pair.far = listener.accept();
    return pair;
}

StreamPair local_pair(const std::string& dir) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string path = dir + "/sock";
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    ::unlink(path.c_str());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    StreamPair pair;
    pair.near = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(pair.near, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        pair.far = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    return pair;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/rebound-test-XXXXXX";
    if (::mkdtemp(pattern)) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string peek_available(int fd) {
    std::vector<char> buf(65536);
    const ssize_t n = ::recv(fd, buf.data(), buf.size(), MSG_PEEK | MSG_DONTWAIT);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
}

} // namespace testsupport
