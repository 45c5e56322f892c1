#include "util/bytesize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

TEST(FormatBytesize, BandsAndSeparator) {
    const double kB = 1024, MB = kB * 1024, GB = MB * 1024;
    const struct {
        double bytes;
        char separator;
        const char* text;
    } cases[] = {
        {0, '.', "0 B"},
        {1023.4, '.', "1023 B"},
        {1023.7, '.', "1024 B"}, // rounded by the format, still in the byte band
        {1024, '.', "1.000 kB"},
        {1536, ',', "1,500 kB"},
        {10 * kB, '.', "10.000 kB"}, // three decimals across the 10 kB mark
        {100 * kB - 1, '.', "99.999 kB"},
        {100 * kB, '.', "100.00 kB"},
        {MB - 1, '.', "1024.00 kB"},
        {MB, '.', "1.000 MB"},
        {10 * MB, '.', "10.000 MB"},
        {100 * MB, '.', "100.00 MB"},
        {GB, '.', "1.00 GB"},
        {10 * GB - 1, '.', "10.00 GB"},
        {10 * GB, '.', "10.0 GB"},
        {1e15, '.', "931322.6 GB"},
        {-1, '.', "-0.0 GB"},
        {-5 * GB, ',', "-5,0 GB"},
        {std::nan(""), '.', "nan GB"},
        {1536, '.', "1.500 kB"},
    };
    for (const auto& c : cases) {
        char buf[32];
        EXPECT_EQ(format_bytesize(c.bytes, buf, sizeof buf, c.separator), buf);
        EXPECT_EQ(std::string(buf), c.text) << c.bytes;
    }
}

TEST(FormatBytesize, BoundedByTheGivenSize) {
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    format_bytesize(1536, buf, 4, ',');
    EXPECT_STREQ(buf, "1,5");
    EXPECT_EQ(std::string(buf + 4, 4), "ZZZZ");
    format_bytesize(1536, buf, 1, ',');
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(format_bytesize(1536, nullptr, 8, ','), nullptr);
}

} // namespace
