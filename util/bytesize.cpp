#include "util/bytesize.h"

#include <cstdio>

namespace {

struct Band {
    double below; // the band holds values from the previous band's limit up to this one
    const char* format;
    double unit;
};

constexpr double kB = 1024, MB = kB * 1024, GB = MB * 1024;

// kB and MB keep three decimals up to 100 of them; GB drops to one decimal from 10 on.
constexpr Band kBands[] = {
    {kB, "%.0f B", 1},         {100 * kB, "%.3f kB", kB}, {MB, "%.2f kB", kB},
    {100 * MB, "%.3f MB", MB}, {GB, "%.2f MB", MB},       {10 * GB, "%.2f GB", GB},
};
constexpr Band kOutside = {0, "%.1f GB", GB};

const Band& band_of(double bytes) {
    if (bytes >= 0) // false for NaN
        for (const Band& b : kBands)
            if (bytes < b.below) return b;
    return kOutside;
}

} // namespace

char* format_bytesize(double bytes, char* buffer, int size, char separator) {
    if (buffer == nullptr || size <= 0) return buffer;
    const Band& band = band_of(bytes);
    std::snprintf(buffer, static_cast<size_t>(size), band.format, bytes / band.unit);
    for (char* p = buffer; *p != '\0'; ++p)
        if (*p == '.') *p = separator;
    return buffer;
}
