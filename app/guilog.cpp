#include "app/guilog.h"

#include <QFile>

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

    std::printf("%s", message);
    std::fflush(stdout); // the log is unbuffered: nothing waits in the stream at exit or kill

    QFile file(QString::fromLatin1(kGuilogFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return;
    file.write(message, static_cast<qint64>(length));
    file.close();
}
