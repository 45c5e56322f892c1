// Shared pieces of the window tests: a fresh working directory per test (the window's log is
// relative to it), event-loop waits, and a real echo responder on 127.0.0.1.
#pragma once

#include "app/run_results.h"
#include "tests/support/responder_process.h"
#include "tests/support/udp_peer.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <thread>
#include <vector>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace apptest {

// Runs each test in its own empty working directory.
class InTempDir : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QByteArray logBytes() const;  // the whole of reboundgui.log
    QStringList logLines() const; // its lines without line ends

  private:
    QTemporaryDir dir_;
    QString previous_;
};

// Processes events until `done` holds; false if it still does not after `limitMs`.
bool waitUntil(const std::function<bool()>& done, int limitMs = 30000);

// The results of a finished run of `probes` probes (on the heap: they are large): every probe
// sent, each answered with the given leading round-trip times (0 past them) except those in
// `lost`, whose slots still hold their times; the counters as the run would leave them.
std::unique_ptr<RunResults> results(int32_t probes, const std::vector<double>& times = {},
                                    const std::set<int32_t>& lost = {});

// True when a chart image (frame coordinates) has a curve pixel, black, right of the vertical axis.
bool hasCurve(const QImage& chart);

// A peer on 127.0.0.1 that echoes every probe whose sequence number is not a multiple of 3,
// until it has seen `probes` probes (or none came for 30 s).
class LossyPeer {
  public:
    explicit LossyPeer(int probes);
    ~LossyPeer();
    int port() const { return peer_.port(); }

  private:
    void serve(int probes);
    testsupport::UdpPeer peer_;
    std::thread thread_;
};

// reboundsrv bound to 127.0.0.1 on a free port, known to answer before the constructor returns.
using Responder = testsupport::ResponderProcess;
} // namespace apptest
