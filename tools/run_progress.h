// The progress bar reboundcli draws on standard error while a measurement runs.
#pragma once

#include "engine/run_observer.h"

#include <cstdio>

// True when a bar helps and cannot disturb anything: standard error is a terminal and standard
// output is not. With both on one terminal the event lines already show the progress, and
// each of them would land behind a bar that has no line feed.
bool run_progress_wanted();

// Draws "reboundcli NNN% [ ... ]  done/total" on `out` after the run's iterations: the first,
// the last, and in between at most one frame per 100 ms, so a fast run does not spend its time
// on the terminal. A run limited by time only (`duration` above 0) shows the time instead:
// "reboundcli NNN% [ ... ]  N probes, 1.2/60.0 s". finish() ends the bar's line once a frame was
// drawn.
class RunProgress final : public rebound_observer {
  public:
    explicit RunProgress(std::FILE* out, double duration = 0) : out_(out), duration_(duration) {}

    void run_started(const rebound_run_start& e) override;
    void iteration_done(int32_t done, int32_t total) override;
    // Ends the bar's line, so that what follows on the same stream (a summary) starts on a
    // line of its own.
    void run_ended(const rebound_run_end&) override { finish(); }
    void finish();

  private:
    void draw(int32_t done, int32_t total, double now);

    std::FILE* out_;
    double duration_;  // seconds; 0 when the count limits the run
    double start_ = 0; // time stamp of the run's start
    int32_t last_done_ = 0, last_total_ = 0;
    double last_frame_ = 0; // time stamp of the last frame drawn
    bool drawn_ = false;
};
