#include "responder_counters.h"

#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>

namespace testsupport {

std::vector<Counters> counters_lines(const std::string& err) {
    std::vector<Counters> all;
    for (const auto& line : split_lines(err)) {
        if (line.rfind("reboundsrv: received=", 0) != 0) continue;
        Counters c;
        std::istringstream words(line.substr(line.find(' ') + 1));
        for (std::string w; words >> w;) {
            if (w.front() == '(') w.erase(0, 1);
            if (w.back() == ')') w.pop_back();
            const size_t eq = w.find('=');
            if (eq != std::string::npos) c[w.substr(0, eq)] = std::stol(w.substr(eq + 1));
        }
        all.push_back(c);
    }
    return all;
}

std::optional<Counters> counters_when(ChildProcess& server,
                                      const std::function<bool(const Counters&)>& done) {
    constexpr int kAsks = 500;
    std::optional<Counters> last;
    for (int ask = 0; ask < kAsks; ++ask) {
        const size_t before = counters_lines(server.err()).size();
        server.signal(SIGUSR1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::vector<Counters> lines;
        while ((lines = counters_lines(server.err())).size() <= before) {
            if (std::chrono::steady_clock::now() > until) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        last = lines.back();
        if (done(*last)) return last;
    }
    return last;
}

} // namespace testsupport
