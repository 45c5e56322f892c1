// The reference a printed round trip is compared with: a bare, paced UDP ping-pong against the
// same responder, with 64-byte probes in the client's header format. For every probe it prints
// two round trips in microseconds: user-space (monotonic reading right before sendto to the one
// right after the receive returns) and kernel-stamped (wall reading right before sendto to the
// kernel's receive stamp, which leaves out the receiver's wake-up).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int64_t now_ns(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void put_word(unsigned char* b, int word, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[word * 4 + k] = static_cast<unsigned char>(v >> (8 * k));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bare_pingpong HOST PORT COUNT PAUSE_US\n");
        return 2;
    }
    constexpr int kProbeSize = 64;
    const int count = std::atoi(argv[3]);
    const long pause_us = std::atol(argv[4]);
    // HOST is a dotted IPv4 address or an IPv6 one.
    sockaddr_storage to{};
    socklen_t to_length = 0;
    const auto port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    if (std::strchr(argv[1], ':')) {
        auto& a = reinterpret_cast<sockaddr_in6&>(to);
        a.sin6_family = AF_INET6;
        a.sin6_port = port;
        inet_pton(AF_INET6, argv[1], &a.sin6_addr);
        to_length = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(to);
        a.sin_family = AF_INET;
        a.sin_port = port;
        inet_pton(AF_INET, argv[1], &a.sin_addr);
        to_length = sizeof a;
    }
    const int fd = socket(to.ss_family, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    timeval limit{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

    unsigned char buf[65536];
    for (int i = 0; i < count; ++i) {
        std::memset(buf, 0, kProbeSize);
        put_word(buf, 1, uint32_t(i));
        put_word(buf, 2, kProbeSize);
        put_word(buf, 3, kProbeSize);
        const int64_t mono0 = now_ns(CLOCK_MONOTONIC);
        const int64_t wall0 = now_ns(CLOCK_REALTIME);
        sendto(fd, buf, kProbeSize, 0, reinterpret_cast<sockaddr*>(&to), to_length);

        iovec iov{buf, sizeof buf};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(fd, &msg, 0);
        const int64_t mono1 = now_ns(CLOCK_MONOTONIC);
        if (n <= 0) continue; // lost: no figure
        int64_t stamp = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts;
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                stamp = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
            }
        std::printf("%.3f %.3f\n", double(mono1 - mono0) / 1e3,
                    stamp ? double(stamp - wall0) / 1e3 : double(mono1 - mono0) / 1e3);
        timespec pause{pause_us / 1000000, (pause_us % 1000000) * 1000};
        nanosleep(&pause, nullptr);
    }
    return 0;
}
