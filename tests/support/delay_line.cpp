#include "tests/support/delay_line.h"

#include "tests/support/fixture_responder.h"

#include <deque>

namespace testsupport {

DelayLine::DelayLine(std::chrono::milliseconds delay, std::function<int(int)> copies)
    : delay_(delay), copies_(std::move(copies)), thread_([this] { serve(); }) {}

DelayLine::~DelayLine() {
    stop_ = true;
    thread_.join();
}

void DelayLine::serve() {
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        int to_port;
        std::vector<uint8_t> echo;
    };
    std::deque<Pending> line;
    for (int n = 0; !stop_;) {
        if (auto d = peer_.receive(std::chrono::milliseconds(1))) {
            for (int k = copies_(n++); k > 0; --k)
                line.push_back({Clock::now() + delay_, d->from_port, proper_echo(d->bytes)});
        }
        while (!line.empty() && line.front().due <= Clock::now()) {
            peer_.send_to(line.front().to_port, line.front().echo);
            line.pop_front();
        }
    }
}

} // namespace testsupport
