#include "dns/dns_query.h"

#include "address/sockaddr.h"
#include "net/bind_listen.h"
#include "net/transfer.h"

#include <chrono>
#include <vector>

namespace {

bool same_sender(const sockaddr_in& from, const sockaddr_in& server) {
    return from.sin_family == AF_INET && from.sin_port == server.sin_port &&
           from.sin_addr.s_addr == server.sin_addr.s_addr;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int dns_query(int type, int qclass, const char* name, const char* server, dns_response* response,
              double timeout) {
    response->questions = response->answer_count = 0;
    response->authority_count = response->additional_count = 0;
    response->flags = 0;
    const sockaddr_in addr = create_sockaddrin(AF_INET, server, "53");
    uint8_t query[DNS_QUERY_MAX];
    const int length = dns_build_query(type, qclass, name, query, sizeof query);
    if (length < 0) return length;

    const int32_t sock = udp_create(AF_INET);
    if (sock == -1) return -1;
    if (sock < 0) return SOCKERR_FAIL; // no socket: the send could only fail

    int result = SOCKERR_FAIL;
    std::vector<uint8_t> reply(DNS_MESSAGE_SIZE);
    if (udp_send(sock, reinterpret_cast<const sockaddr*>(&addr), query, length, timeout) >= 0) {
        // Only the server's own answer to this query counts; any other datagram is dropped and
        // the wait goes on for what is left of the limit.
        const auto start = std::chrono::steady_clock::now();
        double left = timeout;
        for (;;) {
            sockaddr_in from{};
            const int received = udp_recv(sock, reinterpret_cast<sockaddr*>(&from), reply.data(),
                                          DNS_MESSAGE_SIZE, left);
            if (received < 0) break;
            if (same_sender(from, addr) && dns_is_reply_to(query, length, reply.data(), received)) {
                const int parsed = dns_parse_response(reply.data(), received, name, response);
                result = parsed == 0 ? 1 : parsed;
                break;
            }
            left = timeout - seconds_since(start);
            if (!(left > 0)) break;
        }
    }
    udp_close(sock);
    return result;
}
