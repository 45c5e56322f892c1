// Chunked transfer coding on a stream socket, built on tcp_recv and tcp_send. Each operation
// has one time budget for all its steps: every step gets what is left of it.
#include "net/framing.h"
#include "net/sock_clock.h"
#include "net/transfer.h"
#include "net/transfer_detail.h"
#include "util/text.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSizeLineMax = 6;
constexpr int kLargestChunkSent = 0xFFFFF; // "fffff\r\n" and its terminator fill 8 bytes
constexpr int kScratchSize = 1024;

class Budget {
  public:
    explicit Budget(double timeout) : timeout_(timeout), start_(sock_clock()) {}
    bool spent() const { return elapsed() >= timeout_; }
    double left() const { return timeout_ - elapsed(); }

  private:
    double elapsed() const { return sock_clock() - start_; }
    double timeout_;
    double start_;
};

} // namespace

int parse_hex4(const char* text) {
    return hex4_value(text, kHex4LowerCaseToCr);
}

int32_t tcp_recv_chunk(int32_t sock, char* buf, int len, double timeout) {
    if (sock == -1) return -WSAENOTSOCK;
    net_detail::clear_front(buf, len);
    char line[8] = {};
    const Budget budget(timeout);

    for (int pos = 0; pos < kSizeLineMax; ++pos) {
        if (budget.spent()) return -WSAETIMEDOUT;
        const int32_t r = tcp_recv(sock, line + pos, 1, budget.left());
        if (r == 0) return pos;
        if (r < 0) return r;
        if (line[pos] == '\n') break;
    }
    const int size = parse_hex4(line);
    if (size == 0) return 0;

    if (budget.spent()) return -WSAETIMEDOUT;
    const int kept = std::min(len, size);
    const int32_t got = tcp_recv(sock, buf, kept, budget.left());
    if (got < 0) return got;
    if (kept <= 0) return 0;             // no room: the data stays in the socket
    if (got < kept) return SOCKERR_FAIL; // the data ended early; what came stays in buf

    char scratch[kScratchSize];
    // The data beyond `len` is read and dropped, a scratch buffer at a time.
    for (int rest = size - len, piece = 0; rest > 0; rest -= piece) {
        piece = std::min(rest, kScratchSize);
        if (budget.spent()) return -WSAETIMEDOUT;
        const int32_t dropped = tcp_recv(sock, scratch, piece, budget.left());
        if (dropped < piece) return dropped < 0 ? dropped : SOCKERR_FAIL;
    }

    if (budget.spent()) return -WSAETIMEDOUT;
    const int32_t end = tcp_recv(sock, scratch, 2, budget.left());
    return end < 0 ? end : size;
}

int32_t tcp_send_chunk(int32_t sock, const char* data, int len, double timeout) {
    const Budget budget(timeout);
    if (len < 0 || len > kLargestChunkSent) return SOCKERR_FAIL;

    char text[8] = {};
    const int header_len = std::snprintf(text, sizeof text, "%x\r\n", static_cast<unsigned>(len));
    const int32_t header = tcp_send(sock, text, header_len, timeout);
    if (header <= 0) return header;

    if (budget.spent()) return -WSAETIMEDOUT;
    const int32_t body = tcp_send(sock, data, len, budget.left());
    if (body == 0) return header;
    if (body < 0) return body;

    if (budget.spent()) return -WSAETIMEDOUT;
    const int32_t trailer = tcp_send(sock, "\r\n", 2, budget.left());
    if (trailer == 0) return header + body;
    if (trailer < 0) return trailer;
    return header + body + trailer;
}
