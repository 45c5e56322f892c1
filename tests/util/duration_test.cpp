#include "util/duration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

std::string duration_text(double seconds, int mode) {
    char buf[kDurationTextSize];
    EXPECT_EQ(format_duration(seconds, buf, mode), buf);
    return buf;
}

TEST(FormatDuration, TruncatedFieldsAndOptionalMilliseconds) {
    const struct {
        double seconds;
        int mode;
        const char* text;
    } cases[] = {
        {3723.25, 0, "01:02:03.250"},
        {3723, 0, "01:02:03"},
        {3723, 1, "01:02:03.000"},
        {1.001, 0, "00:00:01"}, // stored just below 1.001: the millisecond is cut off
        {1.001, 1, "00:00:01.000"},
        {0, 0, "00:00:00"},
        {59.5, 0, "00:00:59.500"},
        {86399.5, 0, "23:59:59.500"},
        {86400, 0, "24:00:00"},
        {360000, 0, "100:00:00"}, // hours are not taken modulo 24
        {std::nan(""), 0, "00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(duration_text(c.seconds, c.mode), c.text) << c.seconds << " mode " << c.mode;
}

TEST(FormatDuration, HugeValuesStayWithinTheBuffer) {
    for (double x : {1e300, -1e300, std::numeric_limits<double>::infinity()}) {
        char buf[kDurationTextSize + 4];
        std::memset(buf, 'Z', sizeof buf);
        format_duration(x, buf, 1);
        EXPECT_LT(std::strlen(buf), size_t(kDurationTextSize)) << x;
        EXPECT_EQ(std::string(buf + kDurationTextSize, 4), "ZZZZ") << x;
        EXPECT_EQ(std::string(buf).rfind(x > 0 ? "2147483647:" : "-2147483647:", 0), 0u) << buf;
    }
}

TEST(ParseDuration, FieldsAndFractionScaling) {
    const struct {
        const char* text;
        double seconds;
    } cases[] = {
        {"1:2:3.5", 3723.5},
        {"1:2:3.05", 3723.05},
        {"1:2:3.0500", 3723.05},
        {"1:2:3.12345", 3723.123}, // a long fraction keeps its first three digits
        {"1:2:3.999999999999999999999999999", 3723.999},
        {"01:02:03.250", 3723.25},
        {"90", 90},
        {"1:30", 90},
        {"1:02:03", 3723},
        {"5.5", 5}, // '.' counts only after the second ':'
        {"1:2:3.", 3723},
        {"1:2:3.5x", 3723.05}, // two characters after '.', so 5 counts as 50 ms
        {"-5", 0},             // a negative field is absent
        {"1:-5", 1},
        {"", 0},
        {"1000000000000", 1e12}, // beyond int: no overflow
    };
    for (const auto& c : cases)
        EXPECT_NEAR(parse_duration(c.text), c.seconds, 1e-9) << c.text;
    EXPECT_EQ(parse_duration(nullptr), 0);
}

TEST(Duration, TextsAndValuesRoundTrip) {
    for (const char* text :
         {"00:00:00.000", "01:02:03.250", "23:59:59.500", "100:00:00.125", "00:00:07.750"})
        EXPECT_EQ(duration_text(parse_duration(text), 1), text);
    // Values to the millisecond come back within the millisecond that truncation may cost.
    for (double x : {0.0, 0.5, 59.999, 3723.25, 86399.001, 360000.125}) {
        EXPECT_NEAR(parse_duration(duration_text(x, 1).c_str()), x, 0.001) << x;
        EXPECT_LE(parse_duration(duration_text(x, 1).c_str()), x) << x;
    }
}

TEST(SecondsToTimeval, BothPartsTruncatedTowardZero) {
    const struct {
        double seconds;
        int32_t sec, usec;
    } cases[] = {
        {1.5, 1, 500000}, {-1.5, -1, -500000}, {0.1, 0, 100000},     {0.0000019, 0, 1},
        {0, 0, 0},        {3e9, INT32_MAX, 0}, {-3e9, INT32_MIN, 0}, {std::nan(""), 0, 0},
    };
    for (const auto& c : cases) {
        const timeval32 tv = seconds_to_timeval(c.seconds);
        EXPECT_EQ(tv.tv_sec, c.sec) << c.seconds;
        EXPECT_EQ(tv.tv_usec, c.usec) << c.seconds;
    }
}

} // namespace
