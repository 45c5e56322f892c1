#include "app/run_marker.h"

#include <algorithm>

RunState endState(rebound_end end, const rebound_info& record) {
    switch (end) {
    case rebound_end::normal:
        return record.uniqpkts > 0 ? RunState::finished : RunState::noEcho;
    case rebound_end::early:
        return RunState::ended;
    case rebound_end::stopped:
        break;
    }
    return RunState::stopped;
}

void RunMarker::run_started(const rebound_run_start& e) {
    r_.planned = std::max(e.count, 0);
    r_.state = RunState::running;
}

void RunMarker::probe_sent(const rebound_probe_sent& e) {
    if (e.index < 0) return;
    r_.span = std::max(r_.span, e.index + 1);
    if (inRecord(e.index) && e.result > 0) r_.marks[e.index] |= kMarkSent;
}

void RunMarker::echo_received(const rebound_echo& e) {
    if (!inRecord(e.seq) || (e.marks & REBOUND_ECHO_DUPLICATE)) return;
    uint8_t& m = r_.marks[e.seq];
    m |= kMarkAnswered | kMarkTimed;
    if (e.marks & REBOUND_ECHO_LATE) m |= kMarkLate;
}

void RunMarker::run_ended(const rebound_run_end& e) {
    r_.state = endState(e.end, *e.info);
}
