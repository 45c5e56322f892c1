#include "engine/receive_buffer.h"

#include <algorithm>
#include <cmath>

#include "engine/round_trip_client.h"

int32_t receive_buffer_bytes(const rebound_params& p) {
    if (p.period <= 0) return 0;
    // Echoes within the time limit of their probes, plus the one of the probe just sent.
    const double in_flight = std::ceil(p.timeout / p.period) + 1.0;
    const double bytes = in_flight * double(std::max(p.recvsize, 0) + kDatagramBookkeeping);
    return int32_t(std::min(bytes, double(kMaxReceiveBuffer)));
}
