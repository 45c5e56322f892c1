// The window's answer to input during an external run. The window (offscreen) runs reboundcli
// (the first one on the program search path) against 127.0.0.1:PORT with COUNT probes, and a
// second thread posts an event to an entry field every 10 ms, as the window system queues
// input; the time from posting to delivery is noted for every event, from the launch until the
// exit-time log is written. Figures go to stderr: the delays' median, 99th percentile and
// maximum, the run's length, the chart's repaints, and the peak memory of the process.
// With VIEW "histogram" the chart frame shows the histogram view during the run.
// Usage: window_response PORT [COUNT [VIEW]]; run it where reboundgui.log may go.
#include "app/rebound.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const QEvent::Type kProbeEvent = QEvent::Type(QEvent::User + 1);

struct ProbeEvent : QEvent {
    Clock::time_point posted = Clock::now();
    ProbeEvent() : QEvent(kProbeEvent) {}
};

// Notes the delays of the probe events and counts the chart's paints.
class Meter : public QObject {
  public:
    std::vector<double> delaysMs;
    int paints = 0;
    QObject* chart = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == kProbeEvent) {
            const auto posted = static_cast<ProbeEvent*>(event)->posted;
            delaysMs.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
            return true;
        }
        if (watched == chart && event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_response PORT [COUNT [VIEW]]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString port = QString::fromLatin1(argv[1]);
    const QString count = QString::fromLatin1(argc > 2 ? argv[2] : "10000");

    auto window = std::make_unique<Rebound>();
    const std::pair<const char*, QString> fields[] = {
        {"leIpHost", "127.0.0.1"}, {"leIpPort", port},   {"leTimeout", "1"},
        {"leCount", count},        {"leSendSize", "64"}, {"leRecvSize", "64"}};
    for (const auto& [name, text] : fields)
        window->findChild<QLineEdit*>(name)->setText(text);
    if (argc > 3 && QByteArray(argv[3]) == "histogram")
        window->findChild<QPushButton*>("qpbHistogram")->setChecked(true);
    QLineEdit* target = window->findChild<QLineEdit*>("leCount");
    Meter meter;
    meter.chart = window->findChild<QLabel*>("qDrawChart");
    target->installEventFilter(&meter);
    meter.chart->installEventFilter(&meter);

    std::atomic<bool> running{true};
    std::thread input([&] {
        while (running) {
            QCoreApplication::postEvent(target, new ProbeEvent);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    const auto start = Clock::now();
    const ClientRunner& runner = window->clientRunner();
    QObject::connect(&runner, &ClientRunner::parsed, &app, [] { QCoreApplication::exit(0); });
    window->cmdNetConnCli_clicked();
    if (!runner.process()) return 1;
    QApplication::exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    running = false;
    input.join();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr,
                 "input delay over %zu events: median %.2f ms, p99 %.1f ms, max %.1f ms; "
                 "run %.1f s, %d repaints (%.1f/s), echoes %d, peak RSS %ld MiB\n",
                 meter.delaysMs.size(), percentile(meter.delaysMs, 0.5),
                 percentile(meter.delaysMs, 0.99), percentile(meter.delaysMs, 1.0), seconds,
                 meter.paints, meter.paints / seconds, window->counters().recvpkts,
                 usage.ru_maxrss / 1024);
    return 0;
}
