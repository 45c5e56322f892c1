#include "app/window_stdout.h"

#include "platform/nonblocking_output.h"
#include "platform/sink_stream.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kStreamBuffer = 64 * 1024;

struct Output {
    std::unique_ptr<plat::nonblocking_output> writer;
    dev_t dev = 0;
    ino_t ino = 0;
    bool failed = false; // the output failed for good (its reader is gone)
    std::string backlog;
    uint64_t dropped = 0;
};

Output& output() {
    static Output o;
    return o;
}

// The writer for what descriptor 1 is now: made again when it was pointed elsewhere.
plat::nonblocking_output* writer(Output& o) {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return nullptr;
    if (!o.writer || st.st_dev != o.dev || st.st_ino != o.ino) {
        o.writer = std::make_unique<plat::nonblocking_output>(STDOUT_FILENO);
        o.dev = st.st_dev;
        o.ino = st.st_ino;
        o.failed = false;
    }
    return o.failed ? nullptr : o.writer.get();
}

std::size_t linesIn(const char* bytes, std::size_t length) {
    return std::size_t(std::count(bytes, bytes + length, '\n'));
}

// Writes from the backlog what the output takes now.
void drain(Output& o) {
    plat::nonblocking_output* w = writer(o);
    std::size_t done = 0;
    while (w && done < o.backlog.size()) {
        const long n = w->write_some(o.backlog.data() + done, o.backlog.size() - done);
        if (n < 0) o.failed = true;
        if (n <= 0) break;
        done += std::size_t(n);
    }
    o.backlog.erase(0, done);
    if (!w || o.failed) { // nobody will ever read what waits
        o.dropped += linesIn(o.backlog.data(), o.backlog.size());
        o.backlog.clear();
    }
}

// Never a failure: what standard output cannot take is dropped and counted, not an error.
bool sink(void*, const char* data, std::size_t size) {
    windowStdoutWrite(data, size);
    return true;
}

} // namespace

void windowStdoutWrite(const char* bytes, std::size_t length) {
    Output& o = output();
    drain(o);
    if (o.backlog.size() + length > kStdoutBacklogBytes || !writer(o)) {
        o.dropped += linesIn(bytes, length);
        return;
    }
    o.backlog.append(bytes, length);
    drain(o);
}

uint64_t windowStdoutDropped() {
    return output().dropped;
}

std::size_t windowStdoutBacklog() {
    return output().backlog.size();
}

void windowStdoutFinish(int waitMs) {
    Output& o = output();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (drain(o); !o.backlog.empty(); drain(o)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !o.writer) break;
        pollfd p{o.writer->wait_fd(), POLLOUT, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) break;
    }
    o.dropped += linesIn(o.backlog.data(), o.backlog.size());
    o.backlog.clear();
    if (o.dropped == 0) return;
    const std::string note = "rebound: standard output did not take " +
                             std::to_string(o.dropped) +
                             " lines (its reader was too slow or gone); reboundgui.log holds "
                             "them\n";
    plat::nonblocking_output err(STDERR_FILENO);
    err.write_some(note.data(), note.size());
}

std::FILE* windowStdoutStream() {
    // Closed at exit; the output it writes into is made first, so it is destroyed after it.
    struct Stream {
        std::FILE* file;
        ~Stream() {
            if (file) std::fclose(file);
        }
    };
    static Stream stream{(output(), plat::open_sink_stream(sink, nullptr, kStreamBuffer))};
    return stream.file;
}
