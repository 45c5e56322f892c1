#include "tests/support/fixture_responder.h"

namespace testsupport {

FixtureResponder::FixtureResponder(Script script) : script_(std::move(script)) {
    thread_ = std::thread([this] {
        int n = 0;
        while (!stop_) {
            auto d = peer_.receive(std::chrono::milliseconds(20));
            if (!d) continue;
            client_port_ = d->from_port;
            for (const auto& reply : script_(n++, d->bytes))
                peer_.send_to(d->from_port, reply);
        }
    });
}

FixtureResponder::~FixtureResponder() {
    stop_ = true;
    thread_.join();
}

std::vector<uint8_t> proper_echo(const std::vector<uint8_t>& probe) {
    std::vector<uint8_t> header(16, 0);
    std::copy(probe.begin(), probe.begin() + std::min<size_t>(16, probe.size()), header.begin());
    const uint32_t asked =
        header[12] | header[13] << 8 | header[14] << 16 | uint32_t(header[15]) << 24;
    std::vector<uint8_t> echo = probe;
    echo.resize(static_cast<int32_t>(asked) < 16 ? 16 : asked, 0);
    return echo;
}

} // namespace testsupport
