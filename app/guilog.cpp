#include "app/guilog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The open batches on this thread, and what they have gathered.
thread_local int batchDepth = 0;
thread_local std::string gathered;

// Standard output first, flushed (the log is unbuffered: nothing waits in the stream at exit
// or kill), then the file in one unbuffered write.
void writeBoth(const char* bytes, std::size_t length) {
    std::fwrite(bytes, 1, length, stdout);
    std::fflush(stdout);

    std::FILE* file = std::fopen(kGuilogFile, "ab");
    if (!file) return;
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::fwrite(bytes, 1, length, file);
    std::fclose(file);
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
