// rebound: the test window. Runs until Quit, Ctrl+Q or the window is closed (exit code 0), or
// until SIGINT or SIGTERM (exit code 128 + the signal's number).
#include "app/rebound.h"
#include "platform/stop_pipe.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Each line leaves at once, also into a pipe, so a kill never loses printed lines.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Before the first log line: a stop then only ends the event loop, between two log lines,
    // so every line on standard output is in the log file as well.
    const int stops = plat::open_stop_pipe();
    QApplication app(argc, argv);
    // On the heap: the window holds the whole result record.
    auto window = std::make_unique<Rebound>();
    window->show();

    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stops >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stops, QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, [stops] {
            if (const int sig = plat::read_stop_pipe(stops)) QCoreApplication::exit(128 + sig);
        });
    }
    const int result = QApplication::exec();
    window.reset();
    std::fflush(stdout);
    return result;
}
