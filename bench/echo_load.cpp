// Load generator for echo responders on 127.0.0.1: keeps WINDOW 64-byte probes (asking for
// 64-byte echoes) in flight for SECONDS and prints the echoes received per second. A probe whose
// echo does not come within 20 ms is given up and replaced, so losses do not stall the window.
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: echo_load PORT SECONDS WINDOW\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const double seconds = std::atof(argv[2]);
    const int window = std::atoi(argv[3]);

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);

    unsigned char probe[64] = {};
    const uint32_t size = 64;
    std::memcpy(probe + 8, &size, 4); // little-endian words: send size, echo size
    std::memcpy(probe + 12, &size, 4);

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    uint32_t seq = 0;
    long echoes = 0, lost = 0;
    int in_flight = 0;
    char buf[65536];
    while (clock::now() < until) {
        while (in_flight < window) {
            std::memcpy(probe + 4, &seq, 4);
            ++seq;
            if (send(fd, probe, sizeof probe, 0) == sizeof probe)
                ++in_flight;
            else
                break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) { // everything in flight is given up
            lost += in_flight;
            in_flight = 0;
            continue;
        }
        while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
            ++echoes;
            if (in_flight > 0) --in_flight;
        }
    }
    const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
    std::printf("echoes_per_second=%.0f echoes=%ld given_up=%ld\n", echoes / elapsed, echoes, lost);
    return 0;
}
