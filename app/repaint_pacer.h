// Spaces out the repaints of a chart that changes while output lines arrive: at most one every
// kMinRepaintGapMs (about 20 a second), and never sooner after the last one than
// kRepaintCostShare times what that one cost, so drawing a large chart with its log lines keeps
// most of the GUI thread free for input.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

inline constexpr qint64 kMinRepaintGapMs = 50;
inline constexpr qint64 kRepaintCostShare = 2;

class RepaintPacer : public QObject {
    Q_OBJECT

  public:
    // `repaint` asks for the repaint; the caller reports what the repaint cost through painted().
    explicit RepaintPacer(std::function<void()> repaint, QObject* parent = nullptr);

    // There is a change to show: `repaint` runs once the gap since the last repaint has passed
    // (from the event loop, at once when it already has). Changes within one gap share a repaint.
    void request();

    // A repaint just ended after costing `costNs`.
    void painted(qint64 costNs);

    // Drops a change not yet shown.
    void cancel() { timer_.stop(); }

  private:
    std::function<void()> repaint_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 nextMs_ = 0; // on clock_, the earliest time of the next repaint
};
