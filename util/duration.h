// Durations in seconds as "HH:MM:SS[.mmm]" texts and back, and as a seconds-and-microseconds
// pair.
#pragma once

#include <cstdint>

// The smallest buffer format_duration needs, terminator included.
inline constexpr int kDurationTextSize = 18;

// "%02d:%02d:%02d.%03d" (hours, minutes, seconds, milliseconds) when the milliseconds are
// above 0 or `mode` is 1, else "%02d:%02d:%02d". Every part is truncated toward zero, so
// 1.001 s (stored just below) shows 00:00:01; hours are not reduced modulo 24. Values beyond
// the hours an int holds are shown as that limit, and a NaN as 0. `buffer` holds at least
// kDurationTextSize bytes. Returns `buffer`.
char* format_duration(double seconds, char* buffer, int mode);

// Reads "H[:M[:S[.F]]]": each field like atoi from at most 30 characters after its separator,
// a negative field counting as absent. A '.' counts only after the second ':' (5.5 gives 5).
// The fraction is scaled to milliseconds by its length: .5 is 500, .05 is 50, .0500 is 50,
// and a longer fraction keeps its first three digits (.12345 is 123). 0 for null.
double parse_duration(const char* text);

// Whole seconds and microseconds, the shape of select's time limit with 32-bit members.
struct timeval32 {
    int32_t tv_sec;
    int32_t tv_usec;
};

// The one conversion of a time in seconds to whole seconds and microseconds, both truncated
// toward zero; a NaN gives zeros. What lies beyond the range is cut to its nearest limit with
// 0 microseconds; the range row says whether the value itself or its whole part is held
// against the limits (they differ only in the last second below a limit).
struct SplitSeconds {
    double whole;
    double microseconds;
};
enum class CutAt { Value, WholePart };
struct SecondsRange {
    double lowest;
    double highest;
    CutAt cut;
};
SplitSeconds split_seconds(double seconds, const SecondsRange& range);

// The socket library's time limits: at most 1e9 seconds (about 31 years) either way.
inline constexpr SecondsRange kSocketTimeLimitRange = {-1e9, 1e9, CutAt::Value};
// The whole seconds a signed 32-bit member holds.
inline constexpr SecondsRange kInt32SecondsRange = {INT32_MIN, INT32_MAX, CutAt::WholePart};

// Both parts truncated toward zero; a value beyond the range of 32 bits gives the nearest
// limit with 0 microseconds, a NaN gives zeros.
timeval32 seconds_to_timeval(double seconds);
