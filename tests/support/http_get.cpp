#include "tests/support/http_get.h"

#include "tests/support/stream_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

std::string HttpReply::header(const std::string& name) const {
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        if (head.size() > at + name.size() &&
            ::strncasecmp(head.c_str() + at, name.c_str(), name.size()) == 0 &&
            head[at + name.size()] == ':') {
            const size_t start = head.find_first_not_of(' ', at + name.size() + 1);
            return head.substr(start, head.find("\r\n", start) - start);
        }
    }
    return {};
}

HttpReply http_request(int port, const std::string& method, const std::string& path,
                       const std::vector<std::string>& headers, std::chrono::milliseconds limit) {
    HttpReply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return reply;
    }
    std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    for (const auto& h : headers) request += h + "\r\n";
    write_all(fd, request + "\r\n");
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) != 1) break;
        char buf[65536];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        bytes.append(buf, size_t(n));
    }
    ::close(fd);
    const size_t split = bytes.find("\r\n\r\n");
    if (split == std::string::npos || bytes.compare(0, 5, "HTTP/") != 0) return reply;
    reply.head = bytes.substr(0, split + 2);
    reply.body = bytes.substr(split + 4);
    reply.status = std::atoi(bytes.c_str() + bytes.find(' ') + 1);
    return reply;
}

} // namespace testsupport
