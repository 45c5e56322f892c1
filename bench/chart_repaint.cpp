// Cost of one repaint of the round-trip chart with 10000 probes, its log lines included (one
// per probe and per tick, each appended to reboundgui.log in the working directory and
// printed on standard output), with loss and late marks, drawn into an image the size of the
// chart frame; and, in the same run, of the histogram view of the same probes.
// Usage: chart_repaint [ROUNDS] [PACKETS]; run it where the log may go. Figures go to stderr.
#include "app/chart.h"
#include "app/chart_histogram.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int packets = argc > 2 ? std::atoi(argv[2]) : REBOUND_MAXPKTS;

    // Loopback-like times with a few slow echoes among them, one probe in 50 lost and one echo
    // in 97 late.
    auto results = std::make_unique<RunResults>();
    results->planned = results->span = std::min(packets, REBOUND_MAXPKTS);
    results->state = RunState::finished;
    rebound_info& record = results->record;
    for (int i = 0; i < results->span; ++i) {
        results->marks[i] = kMarkSent;
        if (i % 50 == 49) continue;
        results->marks[i] |= kMarkAnswered | kMarkTimed | (i % 97 == 0 ? kMarkLate : 0);
        record.recvtime[i] = (i % 997 == 0 ? 900 : 20 + (i * 37) % 40) * 1e-6;
        ++record.recvpkts;
    }
    record.sendpkts = packets;
    results->counters = countersOf(record);

    const QSize frame(600, 400);
    QImage image(frame, QImage::Format_RGB32);
    struct View {
        const char* name;
        void (*draw)(QPainter&, QSize, const RunResults&);
    };
    const View views[] = {{"repaint", drawChart}, {"histogram repaint", drawHistogram}};
    for (const View& view : views) {
        // Wall time, and the process's processor time, which a busy machine does not inflate.
        std::vector<double> ms, cpuMs;
        for (int r = 0; r < rounds; ++r) {
            image.fill(Qt::white);
            const auto start = std::chrono::steady_clock::now();
            const std::clock_t cpuStart = std::clock();
            QPainter painter(&image);
            view.draw(painter, frame, *results);
            painter.end();
            cpuMs.push_back(1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpuMs.begin(), cpuMs.end());
        std::fprintf(stderr,
                     "%s of %d probes: median %.1f ms (processor time %.1f ms), max %.1f ms "
                     "over %d rounds\n",
                     view.name, packets, ms[ms.size() / 2], cpuMs[cpuMs.size() / 2], ms.back(),
                     rounds);
    }
    return 0;
}
