// Byte counts as human-readable sizes.
#pragma once

// Formats `bytes` into `buffer` of `size` bytes (bounded, terminator included) by its band:
//   below 1024 "%.0f B"; below 100 kB "%.3f kB"; below 1 MB "%.2f kB"; below 100 MB "%.3f MB";
//   below 1 GB "%.2f MB"; below 10 GB "%.2f GB"; anything else (negative, NaN included)
//   "%.1f GB"; with 1 kB = 1024 bytes and so on. Every '.' of the result is then replaced by
// `separator`. Returns `buffer`.
char* format_bytesize(double bytes, char* buffer, int size, char separator);
