// The receive buffer a run asks for: room for every echo within the time limit of a schedule,
// nothing extra in lock-step, and never more than the cap whatever the rate.
#include "engine/receive_buffer.h"
#include "engine/round_trip_client.h"

#include <gtest/gtest.h>

namespace {

TEST(ReceiveBuffer, SizedForTheEchoesOfASchedule) {
    struct Case {
        double period, timeout;
        int32_t recvsize, bytes;
    };
    const Case cases[] = {
        {0, 1, 8192, 0},                                          // lock-step
        {0.001, 0.1, 64, 101 * (64 + kDatagramBookkeeping)},      // 100 in flight + the new one
        {0.001, 0.1005, 64, 102 * (64 + kDatagramBookkeeping)},   // a part of a period counts
        {0.000001, 10, 65507, kMaxReceiveBuffer},                 // capped
    };
    for (const auto& c : cases) {
        rebound_params p;
        p.period = c.period;
        p.timeout = c.timeout;
        p.recvsize = c.recvsize;
        EXPECT_EQ(receive_buffer_bytes(p), c.bytes) << c.period << " " << c.timeout;
    }
}

} // namespace
