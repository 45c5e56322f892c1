#include "util/duration.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Largest magnitude whose hours still fit an int.
constexpr double kMaxDurationSeconds = static_cast<double>(INT_MAX) * 3600.0;

constexpr size_t kFieldChars = 30;

constexpr double kMicrosecondsPerSecond = 1e6;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A field as atoi reads it, from at most kFieldChars characters: blanks, an optional sign and
// the run of digits. `length` is the count of characters the field's copy holds.
struct Field {
    bool negative = false;
    std::string_view digits;
    size_t length = 0;
};

Field read_field(const char* at) {
    const std::string_view copy(at, strnlen(at, kFieldChars));
    Field f;
    f.length = copy.size();
    size_t i = 0;
    while (i < copy.size() && is_blank(copy[i]))
        ++i;
    if (i < copy.size() && (copy[i] == '-' || copy[i] == '+')) f.negative = copy[i++] == '-';
    size_t end = i;
    while (end < copy.size() && is_digit(copy[end]))
        ++end;
    f.digits = copy.substr(i, end - i);
    return f;
}

// The digits as a number: at most 30 of them, so a double takes them without overflow.
double digits_value(std::string_view digits) {
    double value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

constexpr double kAbsent = -1;

// The field's value, or kAbsent when there is no field or its number is negative.
double field_value(const char* at) {
    if (at == nullptr) return kAbsent;
    const Field f = read_field(at);
    const double value = digits_value(f.digits);
    return f.negative && value > 0 ? kAbsent : value;
}

// The fraction in milliseconds: its number scaled by 10^(3 - length), truncated. Taking the
// leading digits of the run instead of dividing keeps every length exact.
double fraction_ms(const char* at) {
    if (at == nullptr) return kAbsent;
    const Field f = read_field(at);
    if (f.negative && digits_value(f.digits) > 0) return kAbsent;
    if (f.length <= 3) return digits_value(f.digits) * std::pow(10.0, 3 - int(f.length));
    const size_t dropped = f.length - 3;
    if (f.digits.size() <= dropped) return 0;
    return digits_value(f.digits.substr(0, f.digits.size() - dropped));
}

const char* after(const char* from, char separator) {
    if (from == nullptr) return nullptr;
    const char* at = std::strchr(from, separator);
    return at ? at + 1 : nullptr;
}

} // namespace

char* format_duration(double seconds, char* buffer, int mode) {
    if (buffer == nullptr) return buffer;
    double x = std::isnan(seconds) ? 0 : seconds;
    x = x > kMaxDurationSeconds    ? kMaxDurationSeconds
        : x < -kMaxDurationSeconds ? -kMaxDurationSeconds
                                   : x;

    const double h = std::trunc(x / 3600);
    const double r = x - 3600 * h;
    const double m = std::trunc(r / 60);
    const double r2 = r - 60 * m;
    const double s = std::trunc(r2);
    const double ms = std::trunc((r2 - s) * 1000);

    if (ms > 0 || mode == 1)
        std::snprintf(buffer, kDurationTextSize, "%02d:%02d:%02d.%03d", int(h), int(m), int(s),
                      int(ms));
    else
        std::snprintf(buffer, 14, "%02d:%02d:%02d", int(h), int(m), int(s));
    return buffer;
}

double parse_duration(const char* text) {
    if (text == nullptr) return 0;
    const char* minutes_at = after(text, ':');
    const char* seconds_at = after(minutes_at, ':');
    const char* fraction_at = after(seconds_at, '.');

    double value = 0;
    if (const double h = field_value(text); h >= 0) value = h;
    if (const double m = field_value(minutes_at); m >= 0) value = value * 60 + m;
    if (const double s = field_value(seconds_at); s >= 0) value = value * 60 + s;
    if (const double f = fraction_ms(fraction_at); f >= 0) value += f / 1000;
    return value;
}

SplitSeconds split_seconds(double seconds, const SecondsRange& range) {
    if (std::isnan(seconds)) return {0, 0};
    const double whole = std::trunc(seconds);
    const double held = range.cut == CutAt::Value ? seconds : whole;
    if (held > range.highest) return {range.highest, 0};
    if (held < range.lowest) return {range.lowest, 0};
    return {whole, std::trunc((seconds - whole) * kMicrosecondsPerSecond)};
}

timeval32 seconds_to_timeval(double seconds) {
    const SplitSeconds split = split_seconds(seconds, kInt32SecondsRange);
    return {static_cast<int32_t>(split.whole), static_cast<int32_t>(split.microseconds)};
}
