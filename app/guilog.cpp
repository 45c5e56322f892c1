#include "app/guilog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void guilog(const char* format, ...) {
    char message[kGuilogBufferSize];
    va_list args;
    va_start(args, format);
    // Bounded: a longer message is cut, never written past the buffer.
    const int formatted = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (formatted < 0) return;
    const std::size_t length = std::strlen(message);

    std::fwrite(message, 1, length, stdout);
    std::fflush(stdout); // the log is unbuffered: nothing waits in the stream at exit or kill

    std::FILE* file = std::fopen(kGuilogFile, "ab");
    if (!file) return;
    // Unbuffered, so the message goes to the file in one write, at once.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::fwrite(message, 1, length, file);
    std::fclose(file);
}
