// Shared pieces of the window tests: a fresh working directory per test (the window's log is
// relative to it), event-loop waits, and a real echo responder on 127.0.0.1.
#pragma once

#include "engine/result_record.h"
#include "tests/support/responder_process.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
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

// A zeroed result record (on the heap: it is large) with `recvpkts` set and the given leading
// round-trip times.
std::unique_ptr<rebound_info> record(int32_t recvpkts, const std::vector<double>& times = {});

// True when a chart image (frame coordinates) has a curve pixel, black, right of the vertical axis.
bool hasCurve(const QImage& chart);

// reboundsrv bound to 127.0.0.1 on a free port, known to answer before the constructor returns.
using Responder = testsupport::ResponderProcess;
} // namespace apptest
