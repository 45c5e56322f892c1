#include "app/repaint_pacer.h"

#include <algorithm>
#include <climits>

RepaintPacer::RepaintPacer(std::function<void()> repaint, QObject* parent)
    : QObject(parent), repaint_(std::move(repaint)) {
    clock_.start();
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        // Also holds when no paint follows (a hidden window).
        nextMs_ = clock_.elapsed() + kMinRepaintGapMs;
        repaint_();
    });
}

void RepaintPacer::request() {
    if (timer_.isActive()) return;
    const qint64 wait = std::clamp<qint64>(nextMs_ - clock_.elapsed(), 0, INT_MAX);
    timer_.start(static_cast<int>(wait));
}

void RepaintPacer::painted(qint64 costNs) {
    const qint64 costMs = costNs / 1000000;
    nextMs_ = clock_.elapsed() + std::max(kMinRepaintGapMs, kRepaintCostShare * costMs);
}
