#include "app/client_record.h"

#include "app/client_line.h"

namespace {

using namespace client_line;

bool inRecord(int index) {
    return index >= 0 && index < REBOUND_MAXPKTS;
}

} // namespace

bool addClientLine(QByteArrayView line, RunResults* results) {
    const bool phase1 = line.contains(kPhase1);
    if (!phase1 && !line.contains(kPhase2)) return false;
    rebound_info& r = results->record;
    if (phase1 && line.contains(kSend) && line.contains(kTimeField)) {
        // Stored whatever the send gave, as the client does; only a send of some bytes counts.
        const int i = toInt(valueAfter(line, kIteration));
        r.iterpkts = i;
        if (inRecord(i)) r.sendtime[i] = toSeconds(valueAfter(line, kTimeField));
        if (toInt(valueAfter(line, kSendResult, true)) > 0) ++r.sendpkts;
    } else if (line.contains(kRecv) && line.contains(kEchoSequence)) {
        // Phase 1 times the echo; phase 2 only counts it.
        const int seq = toInt(valueAfter(line, kEchoSequence));
        r.iterpkts = seq;
        if (phase1 && inRecord(seq)) r.recvtime[seq] = toSeconds(valueAfter(line, kTimeField));
        if (toInt(valueAfter(line, kRecvResult)) > 0) ++r.recvpkts;
    } else {
        return false;
    }
    results->counters = countersOf(r);
    return true;
}
