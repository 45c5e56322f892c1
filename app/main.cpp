// rebound: the test window. Runs until Quit, Ctrl+Q or the window is closed; the exit code is
// the event loop's result (0 after Quit).
#include "app/rebound.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    // Each line leaves at once, also into a pipe, so a kill never loses printed lines.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    // On the heap: the window holds the whole result record.
    auto window = std::make_unique<Rebound>();
    window->show();
    const int result = QApplication::exec();
    window.reset();
    std::fflush(stdout);
    return result;
}
