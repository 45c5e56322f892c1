#include "tests/app/app_test_support.h"

#include "app/chart_scale.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>

#include <algorithm>

namespace apptest {

void InTempDir::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    previous_ = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
}

void InTempDir::TearDown() {
    QDir::setCurrent(previous_);
}

QByteArray InTempDir::logBytes() const {
    QFile f(path(QStringLiteral("reboundgui.log")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QStringList InTempDir::logLines() const {
    QStringList lines = QString::fromUtf8(logBytes()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

bool waitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

std::unique_ptr<RunResults> results(int32_t probes, const std::vector<double>& times,
                                    const std::set<int32_t>& lost) {
    auto r = std::make_unique<RunResults>();
    r->planned = r->span = probes;
    r->state = RunState::finished;
    int32_t answered = 0;
    for (int32_t i = 0; i < std::min(probes, REBOUND_MAXPKTS); ++i) {
        r->marks[i] = kMarkSent;
        // A lost probe's slot keeps its time too: what is drawn must not depend on it.
        if (size_t(i) < times.size()) r->record.recvtime[i] = times[size_t(i)];
        if (lost.count(i)) continue;
        r->marks[i] |= kMarkAnswered | kMarkTimed;
        ++answered;
    }
    r->record.sendpkts = probes;
    r->record.recvpkts = probes > REBOUND_MAXPKTS ? probes : answered;
    r->record.uniqpkts = answered;
    r->counters = {probes, r->record.recvpkts, probes};
    return r;
}

bool hasCurve(const QImage& chart) {
    for (int y = 0; y < chart.height(); ++y)
        for (int x = kChartMargin + 1; x < chart.width(); ++x)
            if (chart.pixelColor(x, y) == QColor(Qt::black)) return true;
    return false;
}

LossyPeer::LossyPeer(int probes) : thread_([this, probes] { serve(probes); }) {}

LossyPeer::~LossyPeer() {
    thread_.join();
}

void LossyPeer::serve(int probes) {
    for (int seen = 0; seen < probes;) {
        const auto d = peer_.receive(std::chrono::seconds(30));
        if (!d) return;
        ++seen;
        // The sequence number: the second little-endian word of the header.
        const uint32_t seq = d->bytes.size() >= 8 ? d->bytes[4] | d->bytes[5] << 8 : 0;
        if (seq % 3 != 0) peer_.send_to(d->from_port, d->bytes);
    }
}

} // namespace apptest
