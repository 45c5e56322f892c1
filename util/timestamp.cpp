#include "util/timestamp.h"

#include "platform/clock.h"

#include <cstdio>
#include <cstring>
#include <ctime>

double get_timestamp() {
    const plat::WallTime now = plat::wall_clock();
    return static_cast<double>(now.seconds) + static_cast<double>(now.microseconds) / 1e6;
}

char* format_timestamp(double stamp, const char* format, char* buffer, int size, unsigned digits) {
    if (buffer == nullptr || size <= 0) return buffer;
    std::memset(buffer, 0, static_cast<size_t>(size));

    const auto whole = static_cast<time_t>(stamp);
    std::tm calendar{};
    // A calendar text that does not fit leaves the whole text empty rather than undefined or
    // a bare fraction.
    if (!plat::local_time(whole, &calendar) ||
        std::strftime(buffer, static_cast<size_t>(size), format, &calendar) == 0) {
        buffer[0] = '\0';
        return buffer;
    }

    const double fraction = stamp - static_cast<double>(whole);
    if (!(fraction > 0) || digits == 0) return buffer;

    char scratch[16];
    std::snprintf(scratch, sizeof scratch, "%.9f", fraction);
    // scratch is "0.ddddddddd", or "1.000000000" when the fraction rounds up: keep "." and
    // the first digits without carrying into the seconds.
    const unsigned keep = digits < 9 ? digits : 9;
    scratch[2 + keep] = '\0';
    const size_t used = std::strlen(buffer);
    std::snprintf(buffer + used, static_cast<size_t>(size) - used, "%s", scratch + 1);
    return buffer;
}
