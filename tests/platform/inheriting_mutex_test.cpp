// plat::inheriting_mutex: while a real-time thread waits for it, an ordinary holder runs at the
// waiter's priority, and drops back once it lets go; without inheritance the holder would stay
// ordinary and could be kept off the processor with the waiter stuck behind it.
#include "platform/inheriting_mutex.h"
#include "tests/support/proc_stat.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kWaiterPriority = 10;
// The kernel's priority field of a task (field 18 of its stat): 20 for an ordinary task at nice
// 0, -1 - N while it runs at real-time priority N.
constexpr long kOrdinary = 20;
constexpr long kBoosted = -1 - kWaiterPriority;

long kernel_priority(pid_t tid) {
    constexpr int kPriorityField = 18;
    const std::string priority =
        testsupport::stat_field("/proc/self/task/" + std::to_string(tid) + "/stat", kPriorityField);
    return priority.empty() ? 0 : std::stol(priority);
}

// Waits, bounded, until `tid`'s priority reads `wanted`.
bool priority_becomes(pid_t tid, long wanted) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        if (kernel_priority(tid) == wanted) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(InheritingMutex, AnOrdinaryHolderRunsAtItsRealTimeWaitersPriority) {
    plat::inheriting_mutex mutex;
    const pid_t holder = static_cast<pid_t>(::syscall(SYS_gettid));
    std::unique_lock held(mutex);
    ASSERT_EQ(kernel_priority(holder), kOrdinary);

    bool waiter_got_it = false;
    std::thread waiter([&] {
        const std::lock_guard lock(mutex);
        waiter_got_it = true;
    });
    sched_param param{};
    param.sched_priority = kWaiterPriority;
    if (pthread_setschedparam(waiter.native_handle(), SCHED_FIFO, &param) != 0) {
        held.unlock();
        waiter.join();
        GTEST_SKIP() << "this process may not give a thread a real-time priority";
    }
    EXPECT_TRUE(priority_becomes(holder, kBoosted)) << kernel_priority(holder);
    held.unlock();
    waiter.join();
    EXPECT_TRUE(waiter_got_it);
    EXPECT_EQ(kernel_priority(holder), kOrdinary);
    EXPECT_TRUE(mutex.try_lock());
    mutex.unlock();
}

} // namespace
