#include "util/dns_query.h"

#include "net/options.h"
#include "net/transfer.h"
#include "util/sockaddr.h"

#include <vector>

int dns_query(int type, int qclass, const char* name, const char* server, dns_response* response,
              double timeout) {
    response->questions = response->answer_count = 0;
    response->authority_count = response->additional_count = 0;
    sockaddr_in addr = create_sockaddrin(AF_INET, server, "53");
    std::vector<uint8_t> message(DNS_MESSAGE_SIZE);
    const int length = dns_build_query(type, qclass, name, message.data(), DNS_MESSAGE_SIZE);
    if (length < 0) return length;

    const int32_t sock = udp_create(AF_INET);
    if (sock == -1) return -1;
    if (sock < 0) return SOCKERR_FAIL; // no socket: the send could only fail

    int result = SOCKERR_FAIL;
    auto* peer = reinterpret_cast<sockaddr*>(&addr);
    if (udp_send(sock, peer, message.data(), length, timeout) >= 0) {
        const int received = udp_recv(sock, peer, message.data(), DNS_MESSAGE_SIZE, timeout);
        if (received >= 0) {
            const int parsed = dns_parse_response(message.data(), received, name, response);
            result = parsed == 0 ? 1 : parsed;
        }
    }
    udp_close(sock);
    return result;
}
