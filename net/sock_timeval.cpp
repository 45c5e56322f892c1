#include "net/sock_timeval.h"

#include "util/duration.h"

timeval sock_timeval(double timeout) {
    const SplitSeconds split = split_seconds(timeout, kSocketTimeLimitRange);
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(split.whole);
    tv.tv_usec = static_cast<suseconds_t>(split.microseconds);
    return tv;
}
