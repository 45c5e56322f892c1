// A progress line and a progress bar for console tools, each frame rewritten in place: it
// starts with 8 blanks and 255 backspaces, so a terminal returns to the start of the line,
// and it ends without a line feed. Frames go to standard output unless another stream is
// given, each as one write followed by a flush.
#pragma once

#include <cstdint>
#include <cstdio>

// "LABEL progress=PPP.PPP % timespent=HH:MM:SS timeelapsed=HH:MM:SS": the percentage of
// done/total, the seconds from `start` to `now` and the projected total run time (0 while the
// percentage is 0.001 or less). A total of 0 gives an infinite or undefined percentage and a
// projected time of 0; a null label counts as empty. Returns `done`.
uint64_t print_progress(const char* label, uint64_t done, uint64_t total, int start, int now,
                        std::FILE* out = stdout);

// With total > 0: "LABEL NNN% [ ====      ]  TRAILING" (two blanks after the bracket), the
// bar `width` columns wide, full from done >= total on and blank for done <= 0. With
// total <= 0: "LABEL ...  [    c     ] TRAILING" where c is a spinner that steps - \ | / once
// per call (the first frame shows \). A null label is left out, a null trailing text together
// with its blank. The spinner state is shared by the whole process: concurrent callers must
// serialise their calls.
void print_progressbar(const char* label, const char* trailing, int done, int total, int width,
                       std::FILE* out = stdout);
