#include "report/iso_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>

std::string iso8601_utc(double stamp) {
    using namespace std::chrono;
    const auto micros = static_cast<int64_t>(std::llround(stamp * 1e6));
    const sys_time<microseconds> t{microseconds{micros}};
    const sys_days day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss<microseconds> time{t - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%06lldZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<long long>(time.subseconds().count()));
    return text;
}
