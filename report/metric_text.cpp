#include "report/metric_text.h"

#include <charconv>
#include <cmath>

namespace {
constexpr double kNanosecondsPerSecond = 1e9;
}

std::string metric_number(double v, bool is_seconds) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    if (is_seconds) v = std::round(v * kNanosecondsPerSecond) / kNanosecondsPerSecond;
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    return std::string(text, r.ptr);
}

std::string escaped_label(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\\' || c == '"')
            out += '\\', out += c;
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}
