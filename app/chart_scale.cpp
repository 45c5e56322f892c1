#include "app/chart_scale.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kClassicStepMs = 5.0;
constexpr int kMinTicks = 4;
// Below a femtosecond a time says nothing a tick could label.
constexpr int kSmallestDecade = -12;
// Times are printed to the microsecond: a tick this close to the largest time is not below it,
// whatever the last bit of a product like 3e-5 * 1000 says.
constexpr double kSameTime = 1e-9;

// The decimal value m x 10^k as the nearest double (a division by an exact power of ten rounds
// once, so 3 x 0.2 comes out as 0.6, not 0.6000000000000001).
double decimal(int64_t m, int k) {
    return k >= 0 ? double(m) * std::pow(10.0, k) : double(m) / std::pow(10.0, -k);
}

// Ticks j * m x 10^k below `ymaxms`; never more than one past kMinTicks * 3, enough to judge.
std::vector<double> ticksBelow(double ymaxms, int m, int k) {
    std::vector<double> values;
    for (int64_t j = 0; j <= 3 * kMinTicks; ++j) {
        const double v = decimal(j * m, k);
        if (!(v < ymaxms * (1 - kSameTime))) break;
        values.push_back(v);
    }
    return values;
}

} // namespace

bool probeTimed(const RunResults& results, int32_t i) {
    return inRecord(i) &&
           (results.marks[i] & (kMarkAnswered | kMarkTimed)) == (kMarkAnswered | kMarkTimed);
}

ChartScale chartScale(const RunResults& results, QSize frame) {
    ChartScale s;
    s.n = chartProbes(results);
    s.width = std::max(frame.width() - 2 * kChartMargin, 0);
    s.room = std::max(frame.height() - 2 * kChartMargin, 0);
    if (s.n == 0) return s;

    s.dx = double(std::max(s.width - 1, 0)) / s.n;
    const rebound_info& record = results.record;
    for (int i = 0; i < s.n; ++i)
        if (probeTimed(results, i) && std::isfinite(record.recvtime[i]))
            s.ymax = std::max(s.ymax, record.recvtime[i]);
    s.ymaxms = s.ymax * 1000.0;
    constexpr double kIntMax = std::numeric_limits<int32_t>::max();
    s.ymaxi = static_cast<int64_t>(std::min(s.ymaxms, kIntMax));
    if (s.ymaxms > 0.0) s.dy = s.room / s.ymaxms;
    return s;
}

int chartColumn(const ChartScale& s, int i) {
    const double x = 1.0 + std::trunc(s.dx * i);
    return static_cast<int>(std::clamp(x, 1.0, double(std::max(s.width - 1, 1))));
}

int chartHeight(const ChartScale& s, double seconds) {
    if (!(s.ymax > 0.0) || std::isnan(seconds)) return 0;
    const double share = std::clamp(seconds / s.ymax, 0.0, 1.0);
    return static_cast<int>(std::trunc(s.room * share));
}

ChartTicks chartTicks(const ChartScale& s, double labelGap) {
    ChartTicks t;
    if (s.n <= 0 || !(s.ymaxms > 0.0)) return t;
    // v < ymaxi as ever: a 15 ms curve has ticks at 0, 5 and 10.
    if (s.ymaxi > kClassicStepMs && s.dy * kClassicStepMs >= labelGap) {
        t.step = kClassicStepMs;
        for (int64_t v = 0; v < s.ymaxi; v += int64_t(kClassicStepMs))
            t.values.push_back(double(v));
        return t;
    }
    // From the largest step not above the largest time downwards: within three decades some
    // step gives kMinTicks, and the step before it gave fewer, so this one gives at most 8.
    const int top = static_cast<int>(std::floor(std::log10(s.ymaxms)));
    if (top < kSmallestDecade) return t;
    for (int k = top; k >= top - 3; --k) {
        for (int m : {5, 2, 1}) {
            std::vector<double> values = ticksBelow(s.ymaxms, m, k);
            if (static_cast<int>(values.size()) < kMinTicks) continue;
            t.step = decimal(m, k);
            t.decimals = std::max(-k, 0);
            t.values = std::move(values);
            return t;
        }
    }
    return t;
}

QString tickLabel(double ms, int decimals) {
    return QStringLiteral("%1").arg(ms, 2, 'f', decimals);
}
