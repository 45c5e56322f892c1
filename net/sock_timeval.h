// The library's time limits as the platform's timeval.
#pragma once

#include "platform/socket_api.h"

// A time limit in seconds as a timeval, both parts truncated toward zero. Limits beyond
// 1e9 seconds (about 31 years) either way are cut to that limit with 0 microseconds, and NaN
// counts as 0, so the conversion is always defined whatever a caller passes.
timeval sock_timeval(double timeout);
