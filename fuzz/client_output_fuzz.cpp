// libFuzzer target: any bytes as the standard output of reboundcli, cut into lines the way the
// window reads them (at LF, one CR before it dropped), each line parsed as it arrives, then the
// exit-time log written. The lists never grow beyond the zero-fill limit and one entry per
// line, and the counters are never negative.
//
// The parser logs every finding through guilog, up to one line per zero it fills in. The
// window's guilog writes every line (or batch of lines) to standard output and its log file,
// which would spend the fuzzer's time on the file system; here each message is formatted into
// the same bounded buffer and dropped, and a batch gathers nothing.
#include "app/client_output.h"
#include "app/guilog.h"
#include "fuzz/fuzz_check.h"

#include <QByteArray>

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

GuilogBatch::GuilogBatch() = default;
GuilogBatch::~GuilogBatch() = default;

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray output(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ClientOutput parser;
    qsizetype lines = 0;
    for (QByteArray line : output.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        parser.addLine(line);
        ++lines;
    }
    parser.beginExitLog();
    while (!parser.continueExitLog(500)) {}
    const ClientRun& run = parser.run();
    const qsizetype bound = kClientZeroFillLimit + lines;
    check(run.qsendtm.size() <= bound && run.qrecvtm.size() <= bound);
    check(run.sendpkts >= 0 && run.recvpkts >= 0 && run.iterpkts >= 0);
    return 0;
}
