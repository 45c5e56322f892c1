#include "app/client_output.h"

#include "app/guilog.h"

#include <QString>

#include <limits>

namespace {

constexpr const char* kLog = "Rebound::slotProcessExited():";

// Marks the send line and the phase-1 receive line. A line without it loses exactly as many
// characters as the statistics lines' prefix "rebound_connect():" has, which is what leaves
// "sendpkts=" and its siblings at the start of the text.
const QLatin1String kPhase1Marker("rebound_connect():1");

// The send line and the phase-1 receive line differ only in these.
struct TimeLine {
    QLatin1String transfer; // "udp_send" or "udp_recv"
    QLatin1String counter;  // field holding the counter before the event: "S=" or "R="
    const char* label;      // "SEND qstrsend" or "RECV qstrrecv"
    const char* fillFormat; // one log line per zero appended: counter value, entry count
    QList<double> ClientRun::*times;
};
const TimeLine kTimeLines[] = {
    {QLatin1String("udp_send"), QLatin1String("S="), "SEND qstrsend",
     "Rebound::slotProcessExited(): SEND while :%u < %d ?\n", &ClientRun::qsendtm},
    {QLatin1String("udp_recv"), QLatin1String("R="), "RECV qstrrecv",
     "Rebound::slotProcessExited(): RECV while: %u < %u ?\n", &ClientRun::qrecvtm},
};

// The closing statistics lines differ only in these.
struct CounterLine {
    QLatin1String key; // at the start of the text after the prefix
    const char* text;  // name of the cut text in the log
    const char* name;  // name of the counter in the log
    int32_t ClientRun::*counter;
};
const CounterLine kCounterLines[] = {
    {QLatin1String("sendpkts="), "qstrsp", "sendpkts", &ClientRun::sendpkts},
    {QLatin1String("recvpkts="), "qstrrp", "recvpkts", &ClientRun::recvpkts},
    {QLatin1String("iterpkts+1="), "qstrlp", "iterpkts", &ClientRun::iterpkts},
};

// The text after the first `key` up to the next blank; the whole text when `key` is absent
// or at its very start.
QString cutField(const QString& s, QLatin1String key) {
    QString text = s;
    const qsizetype k = text.indexOf(key);
    if (k > 0) {
        text = text.mid(k + key.size());
        const qsizetype blank = text.indexOf(QLatin1Char(' '));
        if (blank > 0) text = text.left(blank);
    }
    return text;
}

uint toUnsigned(const QString& text) {
    bool ok = false;
    const uint v = text.toUInt(&ok, 10);
    return ok ? v : 0;
}

double toSeconds(const QString& text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : 0.0;
}

void parseTimeLine(const QString& s, ClientRun* run) {
    const QString qstrtime = cutField(s, QLatin1String(" time="));
    for (const TimeLine& t : kTimeLines) {
        const QString field = cutField(s, t.counter);
        if (s.indexOf(t.transfer) <= 0) continue;
        guilog("%s %s=|%s| qstrtime=|%s|\n", kLog, t.label, field.toUtf8().constData(),
               qstrtime.toUtf8().constData());
        QList<double>& times = run->*t.times;
        const uint v = toUnsigned(field);
        while (uint(times.size()) + 1 < v && times.size() < kClientZeroFillLimit) {
            guilog(t.fillFormat, v, int(times.size()));
            times.append(0.0);
        }
        times.append(toSeconds(qstrtime));
    }
}

void parseCounterLine(const QString& s, ClientRun* run) {
    for (const CounterLine& c : kCounterLines) {
        if (!s.startsWith(c.key)) continue;
        const QString text = s.mid(c.key.size());
        const uint v = toUnsigned(text);
        // A value beyond the signed counter's range is as unusable as one that is no number.
        run->*c.counter = v <= uint(std::numeric_limits<int32_t>::max()) ? int32_t(v) : 0;
        guilog("%s %s=%s %s=%d\n", kLog, c.text, text.toUtf8().constData(), c.name,
               run->*c.counter);
    }
}

} // namespace

ClientRun parseClientOutput(const QStringList& lines) {
    ClientRun run;
    guilog("%s\n", kLog);
    for (const QString& line : lines) {
        QString s = line.mid(line.indexOf(kPhase1Marker) + kPhase1Marker.size());
        if (s.startsWith(QLatin1Char(' '))) s.remove(0, 1);
        if (s.indexOf(QLatin1String("time=")) > 0) parseTimeLine(s, &run);
        parseCounterLine(s, &run);
    }
    guilog("%s qsendtm->size()=%d qrecvtm->size()=%d\n", kLog, int(run.qsendtm.size()),
           int(run.qrecvtm.size()));
    return run;
}
