#include "tools/run_progress.h"

#include "platform/terminal.h"
#include "util/progress.h"
#include "util/timestamp.h"

namespace {

constexpr int kStdout = 1;
constexpr int kStderr = 2;
constexpr int kBarWidth = 40;
constexpr double kFrameInterval = 0.1; // seconds

} // namespace

bool run_progress_wanted() {
    return plat::is_terminal(kStderr) && !plat::is_terminal(kStdout);
}

void RunProgress::iteration_done(int32_t done, int32_t total) {
    const double now = get_timestamp();
    if (drawn_ && done < total && now - last_frame_ < kFrameInterval) return;
    char count[32];
    std::snprintf(count, sizeof count, "%d/%d", done, total);
    print_progressbar("reboundcli", count, done, total, kBarWidth, out_);
    last_frame_ = now;
    drawn_ = true;
}

void RunProgress::finish() {
    if (!drawn_) return;
    std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = false;
}
