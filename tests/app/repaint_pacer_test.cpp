#include "app/repaint_pacer.h"
#include "tests/app/app_test_support.h"

#include <QCoreApplication>

namespace {

void drainEvents() {
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

// Changes that come while a repaint is already due share it; after a costly repaint the next
// one waits (here: twice an hour's cost), and a change not yet shown can be dropped.
TEST(RepaintPacer, ChangesShareARepaintAndACostlyOneHoldsTheNext) {
    int repaints = 0;
    RepaintPacer pacer([&] { ++repaints; });
    for (int i = 0; i < 5; ++i)
        pacer.request();
    EXPECT_EQ(repaints, 0) << "from the event loop, not inside request()";
    ASSERT_TRUE(apptest::waitUntil([&] { return repaints > 0; }));
    drainEvents();
    EXPECT_EQ(repaints, 1);

    constexpr qint64 kHourNs = 3600LL * 1000 * 1000 * 1000;
    pacer.painted(kHourNs);
    pacer.request();
    drainEvents();
    EXPECT_EQ(repaints, 1);
    pacer.cancel();
    pacer.painted(0); // the gap is back to the minimum, but nothing is due any more
    drainEvents();
    EXPECT_EQ(repaints, 1);
}

} // namespace
