#include "util/timestamp.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

// 2026-12-08 20:08:46 UTC
constexpr double kSecond = 1796760526.0;

class Utc : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? tz : "";
        had_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static std::string text(double stamp, unsigned digits, int size = 36) {
        char buf[64];
        format_timestamp(stamp, "%Y/%m/%d %H:%M:%S", buf, size, digits);
        return buf;
    }

  private:
    std::string saved_;
    bool had_ = false;
};

TEST_F(Utc, FormatsCalendarTextAndCutFraction) {
    struct Case {
        double stamp;
        unsigned digits;
        const char* text;
    };
    const Case cases[] = {
        {kSecond, 6, "2026/12/08 20:08:46"}, // no fraction: no '.'
        {kSecond + 0.5, 6, "2026/12/08 20:08:46.500000"},
        {kSecond + 0.5, 0, "2026/12/08 20:08:46"},
        {kSecond + 0.5, 12, "2026/12/08 20:08:46.500000000"},      // at most nine digits
        {kSecond + 999 / 1024.0, 6, "2026/12/08 20:08:46.975585"}, // cut, not rounded
        {kSecond + 0.25, 1, "2026/12/08 20:08:46.2"},
        {kSecond + 0.0000005, 6, "2026/12/08 20:08:46.000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(c.stamp, c.digits), c.text) << c.stamp;
}

TEST_F(Utc, FractionRoundingUpDoesNotCarryIntoTheSeconds) {
    // A fraction of 0.9999999999 prints as 1.000000000 with nine decimals: '.' and zeros
    // follow. (Stamps near today cannot hold such a fraction, so a day after 1970 is used.)
    EXPECT_EQ(text(86400 + 0.9999999999, 6), "1970/01/02 00:00:00.000000");
}

TEST_F(Utc, TextAlwaysFitsTheBuffer) {
    char buf[24];
    std::memset(buf, 'x', sizeof buf);
    format_timestamp(kSecond + 0.5, "%Y/%m/%d %H:%M:%S", buf, 22, 6);
    EXPECT_STREQ(buf, "2026/12/08 20:08:46.5"); // 21 characters and the terminator
    EXPECT_EQ(buf[22], 'x');
    format_timestamp(kSecond + 0.5, "%Y/%m/%d %H:%M:%S", buf, 10, 6);
    EXPECT_STREQ(buf, ""); // the calendar text does not fit: nothing, not a bare fraction
    EXPECT_EQ(format_timestamp(kSecond, "%Y", buf, 0, 6), buf);
}

TEST_F(Utc, EmptyCalendarTextLeavesTheFractionAlone) {
    char buf[36];
    EXPECT_STREQ(format_timestamp(kSecond + 0.5, "", buf, sizeof buf, 6), ".500000");
    EXPECT_STREQ(format_timestamp(kSecond, "", buf, sizeof buf, 6), "");
    EXPECT_STREQ(format_timestamp(kSecond + 0.25, "", buf, 3, 6), ".2"); // cut to the buffer
}

TEST_F(Utc, StampsWithoutACalendarTimeGiveAnEmptyText) {
    const double stamps[] = {1e300,
                             -1e300,
                             9223372036854775808.0, // 2^63: just beyond time_t
                             1e18,                  // a time_t, but no year an int holds
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (double stamp : stamps) {
        char buf[36];
        std::memset(buf, 'x', sizeof buf);
        format_timestamp(stamp, "%Y/%m/%d %H:%M:%S", buf, sizeof buf, 6);
        EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '\0')) << stamp;
    }
}

TEST(GetTimestamp, OneReadingWithMicrosecondFraction) {
    const double before = static_cast<double>(std::time(nullptr));
    const double stamp = get_timestamp();
    const double after = static_cast<double>(std::time(nullptr));
    EXPECT_GE(stamp, before);
    EXPECT_LT(stamp, after + 1);
    // The fraction is a whole number of microseconds, not of 1/1024 s.
    double fractions_off_grid = 0;
    for (int i = 0; i < 50; ++i) {
        const double f = get_timestamp();
        const double us = (f - std::floor(f)) * 1e6;
        EXPECT_NEAR(us, std::round(us), 0.25); // a double near 1.8e9 resolves 0.24 us
        const double k = (f - std::floor(f)) * 1024;
        if (std::fabs(k - std::round(k)) > 1e-3) ++fractions_off_grid;
    }
    EXPECT_GT(fractions_off_grid, 0);
}

} // namespace
