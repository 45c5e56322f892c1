#include "app/run_results.h"

#include <algorithm>

int32_t chartProbes(const RunResults& r) {
    const bool cutShort = r.state == RunState::ended || r.state == RunState::stopped;
    const int32_t n = cutShort ? r.span : std::max(r.planned, r.span);
    return std::clamp(n, 0, REBOUND_MAXPKTS);
}

bool probeLost(const RunResults& r, int32_t i) {
    if (!inRecord(i)) return false;
    const uint8_t m = r.marks[i];
    if (!(m & kMarkSent) || (m & kMarkAnswered)) return false;
    return r.state != RunState::running || i + 1 < r.span;
}

QString runStatusText(const RunResults& r) {
    const rebound_info& rec = r.record;
    const QString planned = r.planned > 0 ? QStringLiteral(" of %1").arg(r.planned) : QString();
    switch (r.state) {
    case RunState::idle:
        break;
    case RunState::running:
        return QStringLiteral("running: %1%2 probes sent, %3 answered")
            .arg(r.span)
            .arg(planned)
            .arg(rec.uniqpkts);
    case RunState::finished:
        return QStringLiteral("finished: %1 of %2 probes answered, %3 lost")
            .arg(rec.uniqpkts)
            .arg(rec.sendpkts)
            .arg(std::max(rec.sendpkts - rec.uniqpkts, 0));
    case RunState::noEcho:
        if (rec.sendpkts <= 0)
            return QStringLiteral("no probe went out (a count of 0, or every send failed)");
        return QStringLiteral("no echo: none of %1 probes was answered (is reboundsrv running "
                              "on that address and port?)")
            .arg(rec.sendpkts);
    case RunState::ended:
        return QStringLiteral("ended early after %1%2 probes: a wait for the socket failed")
            .arg(r.span)
            .arg(planned);
    case RunState::stopped:
        return QStringLiteral("stopped after %1%2 probes").arg(r.span).arg(planned);
    case RunState::refused:
        return QStringLiteral("reboundcli refused its arguments: %1").arg(r.message);
    case RunState::notStarted:
        return QStringLiteral("reboundcli could not be started: %1").arg(r.message);
    case RunState::badHost:
        return QStringLiteral("%1; nothing was sent").arg(r.message);
    }
    return QStringLiteral("no run yet");
}
