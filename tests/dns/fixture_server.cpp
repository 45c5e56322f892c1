#include "tests/dns/fixture_server.h"

#include "tests/dns/port53.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dnstest {

FixtureServer::FixtureServer(Answer answer) : answer_(std::move(answer)) {
    Port53 p = bind_port53();
    fd_ = p.fd;
    address_ = p.address;
    why_not_ = p.why_not;
    if (fd_ >= 0) thread_ = std::thread([this] { serve(); });
}

FixtureServer::~FixtureServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

std::vector<Bytes> FixtureServer::queries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_;
}

void FixtureServer::serve() {
    Bytes buf(65536);
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) continue;
        const Bytes query(buf.begin(), buf.begin() + n);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queries_.push_back(query);
        }
        for (const Bytes& reply : answer_(query, from))
            ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
}

} // namespace dnstest
