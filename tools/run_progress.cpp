#include "tools/run_progress.h"

#include "platform/terminal.h"
#include "util/progress.h"
#include "util/timestamp.h"

#include <algorithm>

namespace {

constexpr int kStdout = 1;
constexpr int kStderr = 2;
constexpr int kBarWidth = 40;
constexpr double kFrameInterval = 0.1; // seconds
constexpr double kMillisPerSecond = 1000;

} // namespace

bool run_progress_wanted() {
    return plat::is_terminal(kStderr) && !plat::is_terminal(kStdout);
}

void RunProgress::run_started(const rebound_run_start& e) {
    start_ = e.start_stamp;
}

void RunProgress::iteration_done(int32_t done, int32_t total) {
    const double now = get_timestamp();
    if (drawn_ && done < total && now - last_frame_ < kFrameInterval) return;
    draw(done, total, now);
}

void RunProgress::draw(int32_t done, int32_t total, double now) {
    char count[64];
    if (duration_ > 0) {
        const double elapsed = now - start_;
        std::snprintf(count, sizeof count, "%d probes, %.1f/%.1f s", done, elapsed, duration_);
        // The drain may run past the duration: the bar stops at full.
        const double shown = std::min(elapsed, duration_);
        print_progressbar("reboundcli", count, static_cast<int>(shown * kMillisPerSecond),
                          static_cast<int>(duration_ * kMillisPerSecond), kBarWidth, out_);
    } else {
        std::snprintf(count, sizeof count, "%d/%d", done, total);
        print_progressbar("reboundcli", count, done, total, kBarWidth, out_);
    }
    last_done_ = done;
    last_total_ = total;
    last_frame_ = now;
    drawn_ = true;
}

void RunProgress::finish() {
    if (!drawn_) return;
    // A run limited by time shows where the clock stood at its end (full after the duration).
    if (duration_ > 0) draw(last_done_, last_total_, get_timestamp());
    std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
}
