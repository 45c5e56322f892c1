// The readiness wait shared by the timed operations: one socket, the asked-for sets, a limit.
#pragma once

#include "platform/socket_api.h"

#include <cstdint>

namespace net_detail {

// The number of asked-for sets the socket is ready in, 0 when `limit` passed, negative when
// the readiness call failed. An interrupted call is made again with the same limit, unless the
// program was asked to stop: then the wait fails, so the stop is not held up by the limit.
int wait_ready(int32_t sock, plat::Readiness want, const timeval& limit,
               plat::Readiness* ready = nullptr);

// The transfers' reading of one wait: 0 when ready, -WSAETIMEDOUT when `limit` passed, SOCKERR_FAIL
// when the readiness call failed.
int32_t wait_outcome(int32_t sock, plat::Readiness want, const timeval& limit);

using plat::kReadable;
using plat::kWritable;

} // namespace net_detail
