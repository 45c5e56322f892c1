#include "util/timestamp.h"

#include "platform/clock.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

double get_timestamp() {
    const plat::WallTime now = plat::wall_clock();
    return static_cast<double>(now.seconds) + static_cast<double>(now.microseconds) / 1e6;
}

namespace {

// Whether the stamp's whole seconds have a time_t value: time_t holds every whole value in
// [-2^digits, 2^digits); a double outside that range, infinite or NaN has none, and converting
// it would be undefined.
bool fits_time_t(double stamp) {
    const double limit = std::ldexp(1.0, std::numeric_limits<time_t>::digits);
    return stamp >= -limit && stamp < limit;
}

// strftime's 0 means "did not fit" and "the text is empty" alike; the format with one more
// character tells them apart, since its text is never empty.
bool calendar_text_is_empty(const char* format, const std::tm& calendar) {
    const std::string marked = std::string(format) + '#';
    char probe[2];
    return std::strftime(probe, sizeof probe, marked.c_str(), &calendar) == 1;
}

} // namespace

char* format_timestamp(double stamp, const char* format, char* buffer, int size, unsigned digits) {
    if (buffer == nullptr || size <= 0) return buffer;
    std::memset(buffer, 0, static_cast<size_t>(size));
    if (format == nullptr || !fits_time_t(stamp)) return buffer;

    const auto whole = static_cast<time_t>(stamp);
    std::tm calendar{};
    // A calendar text that does not fit leaves the whole text empty rather than undefined or
    // a bare fraction.
    if (!plat::local_time(whole, &calendar)) return buffer;
    if (std::strftime(buffer, static_cast<size_t>(size), format, &calendar) == 0 &&
        !calendar_text_is_empty(format, calendar)) {
        std::memset(buffer, 0, static_cast<size_t>(size)); // what strftime left is undefined
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
