// A name server that answers with crafted datagrams (or not at all), on port 53 of a loopback
// address of its own, served from a thread of the test.
#pragma once

#include "tests/dns/reply_builder.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

namespace dnstest {

class FixtureServer {
  public:
    // What to send back, in order, for a query that came from `client`; none: stay silent.
    using Answer = std::function<std::vector<Bytes>(const Bytes& query, const sockaddr_in& client)>;

    explicit FixtureServer(Answer answer);
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    const std::string& why_not() const { return why_not_; } // empty when serving
    const std::string& address() const { return address_; }
    std::vector<Bytes> queries() const;

  private:
    void serve();

    Answer answer_;
    int fd_ = -1;
    std::string address_, why_not_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Bytes> queries_;
    std::thread thread_;
};

} // namespace dnstest
