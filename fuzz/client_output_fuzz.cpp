// libFuzzer target: any bytes as the standard output of reboundcli, cut into lines the way the
// window reads them (at LF, one CR before it dropped, each line converted from the local 8-bit
// encoding), then parsed as when the client exits. The lists never grow beyond the zero-fill
// limit and one entry per line, and the counters are never negative.
//
// The parser logs every finding through guilog, up to one line per zero it fills in. The
// window's guilog opens, appends to and closes its log file for each line, which would spend
// the fuzzer's time on the file system; here each message is formatted into the same bounded
// buffer and dropped.
#include "app/client_output.h"
#include "app/guilog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

void guilog(const char* format, ...) {
    char message[kGuilogBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
}

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray output(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList lines;
    for (QByteArray line : output.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        lines.append(QString::fromLocal8Bit(line));
    }
    const ClientRun run = parseClientOutput(lines);
    const qsizetype bound = kClientZeroFillLimit + lines.size();
    check(run.qsendtm.size() <= bound && run.qrecvtm.size() <= bound);
    check(run.sendpkts >= 0 && run.recvpkts >= 0 && run.iterpkts >= 0);
    return 0;
}
