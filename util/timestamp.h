// Time stamps: seconds since 1970-01-01 00:00:00 UTC as a double, and their text form.
#pragma once

// Whole seconds and microseconds of one wall-clock reading: seconds + microseconds / 1e6.
double get_timestamp();

// Local calendar text of the stamp's whole seconds (strftime with `format`), followed, when the
// stamp has a positive fraction and `digits` is not 0, by "." and the first min(digits, 9)
// digits of the fraction printed with nine decimals (cut, not rounded again). The text always
// fits `size` bytes with its terminator; it is empty when the calendar text does not fit, and
// for a stamp that has no calendar time (beyond the range of time_t, infinite, NaN). An empty
// calendar text (an empty `format`) leaves the fraction alone. Returns `buffer`.
char* format_timestamp(double stamp, const char* format, char* buffer, int size, unsigned digits);
