// Load generator for echo responders on 127.0.0.1: from SOCKETS client sockets (default 1;
// each its own source port), keeps WINDOW 64-byte probes (asking for 64-byte echoes) in flight
// per socket for SECONDS and prints the echoes received per second. A socket whose echoes stop
// for 20 ms gives up what it has in flight and sends afresh, so losses do not stall the window.
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace {

constexpr int kGiveUpMs = 20;
constexpr int kMaxSockets = 64;

struct client {
    int fd;
    int in_flight = 0;
    std::chrono::steady_clock::time_point last_echo;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: echo_load PORT SECONDS WINDOW [SOCKETS]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const double seconds = std::atof(argv[2]);
    const int window = std::atoi(argv[3]);
    const int sockets = argc == 5 ? std::atoi(argv[4]) : 1;
    if (sockets < 1 || sockets > kMaxSockets) {
        std::fprintf(stderr, "echo_load: SOCKETS must be 1..%d\n", kMaxSockets);
        return 2;
    }

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    using clock = std::chrono::steady_clock;
    std::vector<client> clients;
    std::vector<pollfd> polls;
    for (int i = 0; i < sockets; ++i) {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
        clients.push_back({fd, 0, clock::now()});
        polls.push_back({fd, POLLIN, 0});
    }

    unsigned char probe[64] = {};
    const uint32_t size = 64;
    std::memcpy(probe + 8, &size, 4); // little-endian words: send size, echo size
    std::memcpy(probe + 12, &size, 4);

    const auto start = clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    uint32_t seq = 0;
    long echoes = 0, lost = 0;
    char buf[65536];
    for (auto now = start; now < until; now = clock::now()) {
        for (auto& c : clients) {
            if (c.in_flight > 0 && now - c.last_echo > std::chrono::milliseconds(kGiveUpMs)) {
                lost += c.in_flight; // everything in flight is given up
                c.in_flight = 0;
            }
            while (c.in_flight < window) {
                std::memcpy(probe + 4, &seq, 4);
                ++seq;
                if (send(c.fd, probe, sizeof probe, 0) != sizeof probe) break;
                if (c.in_flight++ == 0) c.last_echo = now;
            }
        }
        if (poll(polls.data(), polls.size(), kGiveUpMs) <= 0) continue;
        for (size_t i = 0; i < clients.size(); ++i) {
            if (!polls[i].revents) continue;
            auto& c = clients[i];
            while (recv(c.fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
                ++echoes;
                if (c.in_flight > 0) --c.in_flight;
                c.last_echo = clock::now();
            }
        }
    }
    const double elapsed = std::chrono::duration<double>(clock::now() - start).count();
    std::printf("echoes_per_second=%.0f echoes=%ld given_up=%ld\n", echoes / elapsed, echoes, lost);
    return 0;
}
