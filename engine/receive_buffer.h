// The size of the client's receive buffer for a run: a scheduled run has the echoes of every
// probe of the last time limit on the way at once, and a buffer too small for them drops echoes
// the path delivered, which the run would then count as lost.
#pragma once

#include <cstdint>

struct rebound_params;

// The kernel keeps each datagram in more than its bytes; its own bookkeeping doubles what is
// asked on top of this.
inline constexpr int32_t kDatagramBookkeeping = 512;
// No run asks for more kernel memory than this, whatever its rate.
inline constexpr int32_t kMaxReceiveBuffer = 32 * 1024 * 1024;

// Bytes the receive buffer should hold for the run; 0 when the kernel's default serves (a
// lock-step run awaits one probe at a time).
int32_t receive_buffer_bytes(const rebound_params& p);
