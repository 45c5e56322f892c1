// A time stamp as ISO 8601 text in UTC with microseconds: "2026-12-10T05:12:12.313229Z".
#pragma once

#include <string>

// `stamp` is seconds since 1970-01-01 00:00:00 UTC; it is rounded to the nearest microsecond.
std::string iso8601_utc(double stamp);
