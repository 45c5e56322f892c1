// The line and header receivers are one peek-then-take loop; what tells them apart is how a
// unit is found in the peeked bytes, and their row below.
#include "net/framing.h"
#include "net/readiness.h"
#include "net/sock_clock.h"
#include "net/sock_timeval.h"
#include "net/transfer.h"
#include "net/transfer_detail.h"
#include "platform/clock.h"

#include <cerrno>
#include <cstring>
#include <string_view>

using namespace net_detail;

namespace {

// The peeked bytes as a text: up to the first zero byte.
std::string_view peeked_text(const char* buf, int count) {
    return std::string_view(buf, strnlen(buf, static_cast<size_t>(count)));
}

int line_length(const char* buf, int count) {
    const size_t lf = peeked_text(buf, count).find('\n');
    return lf == std::string_view::npos ? 0 : static_cast<int>(lf) + 1;
}

int header_length(const char* buf, int count) {
    const size_t end = peeked_text(buf, count).find("\r\n\r\n");
    return end == std::string_view::npos ? 0 : static_cast<int>(end) + 4;
}

struct PeekFramer {
    int (*unit_length)(const char* buf, int count); // 0 while no whole unit is there
    bool take_when_stable; // a peek that sees no more than the last one takes it all
};

constexpr PeekFramer kLine{line_length, false};
constexpr PeekFramer kHeader{header_length, true};

// While a unit is incomplete the socket stays readable, so the wait returns at once: the pause
// keeps the loop from taking a whole core until more data or the overall limit comes.
constexpr int kIncompletePauseMs = 1;

// A look at the waiting data; its failure is passed on as the platform's -1 with errno as it
// was.
int peek(int32_t sock, char* buf, int len) {
    const int saved = errno;
    const int r = plat::recv(sock, buf, len, MSG_PEEK);
    if (r < 0) errno = saved;
    return r;
}

int32_t peek_receive(const PeekFramer& f, int32_t sock, char* buf, int len, double timeout) {
    if (sock == -1) return -WSAENOTSOCK;
    clear_front(buf, len);
    const timeval limit = sock_timeval(timeout);
    set_timeout_option(sock, SO_RCVTIMEO, limit);
    const double start = sock_clock();
    int previous_peek = 0;
    int32_t result = 0;
    for (;;) {
        if (const int32_t w = wait_outcome(sock, kReadable, limit); w < 0) return w;
        if (len <= 0) return result;
        int last = peek(sock, buf, len);
        int amount = 0;
        if (last > 0) {
            amount = f.unit_length(buf, last);
            if (amount == 0) plat::sleep_ms(kIncompletePauseMs);
            if (f.take_when_stable) {
                if (previous_peek > 0 && previous_peek == last)
                    amount = last;
                else
                    previous_peek = last;
            }
            clear_front(buf, len);
            if (amount > 0) last = result = tcp_recv(sock, buf, amount, timeout);
        }
        if (last <= 0) return last == 0 ? result : last;
        if (amount > 0) return result;
        if (sock_clock() - start > timeout) return result;
    }
}

} // namespace

int32_t tcp_recv_line(int32_t sock, char* buf, int len, double timeout) {
    return peek_receive(kLine, sock, buf, len, timeout);
}

int32_t tcp_recv_header(int32_t sock, char* buf, int len, double timeout) {
    return peek_receive(kHeader, sock, buf, len, timeout);
}
