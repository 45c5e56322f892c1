// UTC time text as the reports print it.
#include "report/iso_time.h"

#include <gtest/gtest.h>

namespace {

TEST(IsoTime, UtcWithMicroseconds) {
    const struct {
        double stamp;
        const char* text;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000000Z"},
        {1781069532.25, "2026-06-10T05:32:12.250000Z"},
        {951782400.5, "2000-02-29T00:00:00.500000Z"},        // leap day
        {1781069532.9999996, "2026-06-10T05:32:13.000000Z"}, // rounds into the next second
        {4102444799.000001, "2099-12-31T23:59:59.000001Z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(iso8601_utc(c.stamp), c.text) << c.stamp;
}

} // namespace
