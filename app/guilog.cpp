#include "app/guilog.h"

#include "app/window_stdout.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The open batches on this thread, and what they have gathered.
thread_local int batchDepth = 0;
thread_local std::string gathered;

// Opens the log for appending; a file that the bytes would take past kGuilogFileLimit is first
// moved to kGuilogPreviousFile (replacing the one before it) and the log starts afresh.
// Non-blocking: a FIFO without a reader in the log's place is skipped, never waited for.
int openLog(std::size_t length) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const int fd = ::open(kGuilogFile, kFlags, 0666);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0 ||
        std::size_t(st.st_size) + length <= kGuilogFileLimit)
        return fd;
    ::close(fd);
    // A rename that fails (the previous name is a directory, say) keeps appending.
    ::rename(kGuilogFile, kGuilogPreviousFile);
    return ::open(kGuilogFile, kFlags, 0666);
}

// Standard output first (never waiting for its reader), then the file in one unbuffered write.
void writeBoth(const char* bytes, std::size_t length) {
    windowStdoutWrite(bytes, length);

    const int fd = openLog(length);
    if (fd < 0) return;
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n <= 0) break;
        done += std::size_t(n);
    }
    ::close(fd);
}

void writeGathered() {
    if (gathered.empty()) return;
    writeBoth(gathered.data(), gathered.size());
    gathered.clear();
}

} // namespace

void guilog(const char* format, ...) {
    char message[kGuilogBufferSize];
    va_list args;
    va_start(args, format);
    // Bounded: a longer message is cut, never written past the buffer.
    const int formatted = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (formatted < 0) return;
    const std::size_t length = std::strlen(message);

    if (batchDepth == 0) {
        writeBoth(message, length);
        return;
    }
    gathered.append(message, length);
    if (gathered.size() >= kGuilogBatchBytes) writeGathered();
}

GuilogBatch::GuilogBatch() {
    ++batchDepth;
}

GuilogBatch::~GuilogBatch() {
    if (--batchDepth == 0) writeGathered();
}
