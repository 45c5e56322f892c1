// rebound: the test window. Runs until Quit, Ctrl+Q or the window is closed (exit code 0), or
// until SIGINT or SIGTERM (exit code 128 + the signal's number).
#include "app/command_line.h"
#include "app/rebound.h"
#include "app/window_stdout.h"
#include "platform/stop_pipe.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {
// At exit a slow reader of standard output gets this long for what still waits for it.
constexpr int kStdoutGraceMs = 30;
} // namespace

int main(int argc, char** argv) {
    // Before the toolkit: --help, --version and a refusal need no display.
    if (const int status = checkWindowArguments(argc, argv, stdout, stderr); status >= 0)
        return status;
    // Each line leaves at once, also into a pipe, so a kill never loses printed lines.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A reader of standard output that is gone costs lines there, never the window.
    std::signal(SIGPIPE, SIG_IGN);
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
    windowStdoutFinish(kStdoutGraceMs);
    return result;
}
