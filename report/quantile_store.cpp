#include "report/quantile_store.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Buckets cover (kLowest * g^(k-1), kLowest * g^k] with g = (1 + a) / (1 - a); the estimate of
// bucket k is 2 * kLowest * g^k / (g + 1), which is within a of every value in it. `a` is kept
// a little under the promised error so that rounding in the logarithm at a bucket's edge cannot
// push an estimate past it. Bucket 0 holds everything up to kLowest (estimated as kLowest),
// the last bucket everything from kHighest up; both are then clamped to the exact extremes.
constexpr double kBucketError = quantile_store::kRelativeError * 0.99;
constexpr double kGrowth = (1 + kBucketError) / (1 - kBucketError);
constexpr double kLowest = 1e-9; // seconds
constexpr double kHighest = 1e6; // seconds, more than eleven days

const double kLogGrowth = std::log(kGrowth);
const size_t kBuckets =
    static_cast<size_t>(std::ceil(std::log(kHighest / kLowest) / kLogGrowth)) + 1;

size_t bucket_of(double v) {
    if (v <= kLowest) return 0;
    const double k = std::ceil(std::log(v / kLowest) / kLogGrowth);
    return std::min(static_cast<size_t>(k), kBuckets - 1);
}

double estimate_of(size_t bucket) {
    if (bucket == 0) return kLowest;
    return 2 * kLowest * std::exp(static_cast<double>(bucket) * kLogGrowth) / (kGrowth + 1);
}

} // namespace

void quantile_store::add(double value) {
    const double v = value > 0 ? value : 0;
    ++count_;
    if (count_ == 1) {
        min_ = max_ = v;
    } else {
        min_ = std::min(min_, v);
        max_ = std::max(max_, v);
    }
    const double delta = v - mean_;
    mean_ += delta / static_cast<double>(count_);
    m2_ += delta * (v - mean_);

    // The switch comes before the value that would pass the limit is kept, so the kept values
    // never grow past kExactLimit (no reallocation to twice that just before they are dropped).
    if (exact() && values_.size() == kExactLimit) move_to_histogram();
    if (!exact()) {
        ++buckets_[bucket_of(v)];
        return;
    }
    values_.push_back(v);
    sorted_ = false;
}

void quantile_store::reserve_ahead(uint64_t values) {
    if (!exact()) return; // the histogram is in place and never grows
    const size_t kept = values_.size();
    const size_t wanted = kept + size_t(std::min<uint64_t>(values, kExactLimit - kept));
    values_.reserve(wanted);
    values_.resize(wanted); // writes every new slot: the pages are in place from now on
    values_.resize(kept);   // keeps the capacity
}

void quantile_store::move_to_histogram() {
    buckets_.assign(kBuckets, 0);
    for (double v : values_)
        ++buckets_[bucket_of(v)];
    values_.clear();
    values_.shrink_to_fit();
}

double quantile_store::min() const {
    return count_ ? min_ : std::numeric_limits<double>::quiet_NaN();
}

double quantile_store::max() const {
    return count_ ? max_ : std::numeric_limits<double>::quiet_NaN();
}

double quantile_store::mean() const {
    return count_ ? mean_ : std::numeric_limits<double>::quiet_NaN();
}

double quantile_store::stddev() const {
    if (count_ == 0) return std::numeric_limits<double>::quiet_NaN();
    return std::sqrt(m2_ / static_cast<double>(count_));
}

double quantile_store::value_at_rank(uint64_t rank) {
    if (exact()) {
        if (!sorted_) {
            std::sort(values_.begin(), values_.end());
            sorted_ = true;
        }
        return values_[rank];
    }
    uint64_t seen = 0;
    for (size_t k = 0; k < buckets_.size(); ++k) {
        seen += buckets_[k];
        if (seen > rank) return std::clamp(estimate_of(k), min_, max_);
    }
    return max_;
}

double quantile_store::quantile(double q) {
    if (count_ == 0) return std::numeric_limits<double>::quiet_NaN();
    const double r = std::clamp(q, 0.0, 1.0) * static_cast<double>(count_ - 1);
    const auto lo = static_cast<uint64_t>(std::floor(r));
    const uint64_t hi = std::min(lo + 1, count_ - 1);
    const double a = value_at_rank(lo);
    const double b = hi == lo ? a : value_at_rank(hi);
    return a + (r - static_cast<double>(lo)) * (b - a);
}
