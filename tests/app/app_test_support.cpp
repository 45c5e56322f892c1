#include "tests/app/app_test_support.h"

#include "tests/support/udp_peer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

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

Responder::Responder() {
    port_ = testsupport::free_udp_port();
    if (!process_.start(testsupport::program_path("reboundsrv"),
                        {"-h", "127.0.0.1", "-p", std::to_string(port_)}))
        return;
    // The responder prints nothing once bound, so ask it: the first echo proves it is there.
    testsupport::UdpPeer peer;
    for (int attempt = 0; attempt < 100 && !answering_; ++attempt) {
        peer.send_to(port_, testsupport::probe(0, 16, 16, 16));
        answering_ = peer.receive(std::chrono::milliseconds(100)).has_value();
    }
}

std::string captureStdout(const std::function<void()>& body) {
    char name[] = "/tmp/rebound-stdout-XXXXXX";
    const int file = ::mkstemp(name);
    std::fflush(stdout);
    const int saved = ::dup(1);
    ::dup2(file, 1);
    body();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::string text;
    ::lseek(file, 0, SEEK_SET);
    char buf[4096];
    for (ssize_t n; (n = ::read(file, buf, sizeof buf)) > 0;)
        text.append(buf, size_t(n));
    ::close(file);
    ::unlink(name);
    return text;
}

} // namespace apptest
