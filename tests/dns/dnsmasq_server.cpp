#include "tests/dns/dnsmasq_server.h"

#include "tests/dns/port53.h"
#include "tests/dns/reply_builder.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dnstest {
namespace {

constexpr const char* kDnsmasq = "/usr/sbin/dnsmasq";
constexpr int kAttempts = 5;

} // namespace

DnsmasqServer::DnsmasqServer(const std::vector<std::string>& records) {
    if (::access(kDnsmasq, X_OK) != 0) {
        error_ = std::string(kDnsmasq) + " is missing (Debian package dnsmasq-base)";
        return;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Port53 p = bind_port53(true, attempt * 37);
        if (p.fd < 0) {
            why_not_ = p.why_not;
            return;
        }
        ::close(p.fd); // dnsmasq binds it itself a moment later
        address_ = p.address;
        std::vector<std::string> args = {"--keep-in-foreground",
                                         "--conf-file=/dev/null",
                                         "--no-resolv",
                                         "--no-hosts",
                                         "--pid-file=",
                                         "--bind-interfaces",
                                         "--listen-address=" + address_,
                                         "--port=53",
                                         "--log-facility=-"};
        if (::geteuid() == 0) args.insert(args.end(), {"--user=root", "--group=root"});
        args.insert(args.end(), records.begin(), records.end());

        child_ = std::make_unique<testsupport::ChildProcess>();
        if (!child_->start(kDnsmasq, args)) {
            error_ = "cannot start dnsmasq";
            return;
        }
        for (int i = 0; i < 100 && !child_->wait(std::chrono::milliseconds(0)); ++i)
            if (answers()) return;
        if (!child_->exited()) {
            error_ = "dnsmasq on " + address_ + " does not answer: " + child_->err();
            return;
        }
        error_ = "dnsmasq ended at start-up: " + child_->err();
        // Another test took the address between our probe and dnsmasq's bind: try the next.
        if (child_->err().find("in use") == std::string::npos) return;
    }
}

DnsmasqServer::~DnsmasqServer() {
    if (!child_) return;
    child_->signal(SIGTERM);
    child_->wait(std::chrono::seconds(10));
}

// One query for the root's name servers; any reply at all means dnsmasq is serving.
bool DnsmasqServer::answers() const {
    Reply q = Reply::header(1, 0, 0, 0);
    q.bytes[2] = 0x01;
    q.bytes[3] = 0x00;
    q.raw(wire("")).u16(2).u16(1);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(53);
    inet_pton(AF_INET, address_.c_str(), &to.sin_addr);
    ::sendto(fd, q.bytes.data(), q.bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    const bool got = ::poll(&p, 1, 100) == 1;
    ::close(fd);
    return got;
}

} // namespace dnstest
