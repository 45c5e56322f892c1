#include "app/client_output.h"

#include "app/client_line.h"
#include "app/guilog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace {

using namespace client_line;

constexpr const char* kLog = "Rebound::slotProcessExited():";

// Kinds of finding; the time kinds index kTimeLines, the counter kinds follow them.
enum Kind : char { kSendTime, kRecvTime, kFirstCounter };

// The send line and the phase-1 receive line differ only in these.
struct TimeLine {
    QByteArrayView transfer; // "udp_send" or "udp_recv"
    QByteArrayView counter;  // field holding the counter before the event: "S=" or "R="
    const char* label;       // "SEND qstrsend" or "RECV qstrrecv"
    const char* fillFormat;  // one log line per zero appended: counter value, entry count
    QList<double> ClientRun::*times;
};
const TimeLine kTimeLines[] = {
    {kSend, kSendCounter, "SEND qstrsend", "Rebound::slotProcessExited(): SEND while :%u < %d ?\n",
     &ClientRun::qsendtm},
    {kRecv, kRecvCounter, "RECV qstrrecv", "Rebound::slotProcessExited(): RECV while: %u < %u ?\n",
     &ClientRun::qrecvtm},
};

// The closing statistics lines differ only in these.
struct CounterLine {
    QByteArrayView key; // at the start of the text after the prefix
    const char* text;   // name of the cut text in the log
    const char* name;   // name of the counter in the log
    int32_t ClientRun::*counter;
};
const CounterLine kCounterLines[] = {
    {kSendPkts, "qstrsp", "sendpkts", &ClientRun::sendpkts},
    {kRecvPkts, "qstrrp", "recvpkts", &ClientRun::recvpkts},
    {kIterPkts, "qstrlp", "iterpkts", &ClientRun::iterpkts},
};

// Whether a zero goes before a time whose counter says v, with `size` entries in its list: the
// time lands at position v - 1 or later.
bool fillsZero(uint v, qsizetype size) {
    return uint(size) + 1 < v && size < kClientZeroFillLimit;
}

// A send or receive finding whose texts are exactly what the client prints for its values (the
// counter "%06u" and equal to the list's size, the time "%.6f") is noted as its kind alone, with
// kCompact set: its texts are made again from the list when the log is written. Any other
// finding keeps its value and its cut texts, each ended by NUL (the log prints them as C
// strings, so the text up to a NUL is all it would show anyway) and at most kNotedTextLimit
// characters long.
constexpr char kCompact = 0x40;

struct Texts {
    char counter[16];
    char time[48];
};

// The texts the client prints for a counter and a time.
Texts printed(uint32_t counter, double time) {
    Texts t;
    std::snprintf(t.counter, sizeof t.counter, "%06u", counter);
    std::snprintf(t.time, sizeof t.time, "%.6f", time);
    return t;
}

void note(QByteArray* notes, char kind, uint32_t value,
          std::initializer_list<QByteArrayView> texts) {
    notes->append(kind);
    notes->append(reinterpret_cast<const char*>(&value), sizeof value);
    for (QByteArrayView text : texts) {
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0) text = text.first(nul);
        notes->append(text.first(std::min(text.size(), kNotedTextLimit)));
        notes->append('\0');
    }
}

} // namespace

void ClientOutput::clear() {
    run_ = {};
    notes_.clear();
    next_ = 0;
    headerLogged_ = false;
    logged_[0] = logged_[1] = 0;
}

void ClientOutput::addLine(QByteArrayView line) {
    // A line without the marker (position -1) loses its first 18 characters.
    const qsizetype cut = line.indexOf(kPhase1) + kPhase1.size();
    QByteArrayView s = line.sliced(std::min(cut, line.size()));
    if (s.startsWith(' ')) s = s.sliced(1);

    if (s.indexOf(kTimed) > 0) {
        const QByteArrayView time = cutField(s, kTimeField);
        for (char kind : {kSendTime, kRecvTime}) {
            const TimeLine& t = kTimeLines[int(kind)];
            if (s.indexOf(t.transfer) <= 0) continue;
            const QByteArrayView field = cutField(s, t.counter);
            const uint v = toUnsigned(field);
            QList<double>& times = run_.*t.times;
            const bool inPlace = v == uint(times.size());
            while (fillsZero(v, times.size()))
                times.append(0.0);
            const double seconds = toSeconds(time);
            times.append(seconds);
            const Texts canonical = printed(v, seconds);
            if (inPlace && field == QByteArrayView(canonical.counter) &&
                time == QByteArrayView(canonical.time))
                notes_.append(char(kind | kCompact));
            else
                note(&notes_, kind, v, {field, time});
        }
    }
    for (size_t k = 0; k < std::size(kCounterLines); ++k) {
        const CounterLine& c = kCounterLines[k];
        if (!s.startsWith(c.key)) continue;
        const QByteArrayView text = s.sliced(c.key.size());
        const uint v = toUnsigned(text);
        // A value beyond the signed counter's range is as unusable as one that is no number.
        run_.*c.counter = v <= uint(std::numeric_limits<int32_t>::max()) ? int32_t(v) : 0;
        note(&notes_, char(kFirstCounter + k), uint32_t(run_.*c.counter), {text});
    }
}

void ClientOutput::beginExitLog() {
    guilog("%s\n", kLog);
    next_ = 0;
    headerLogged_ = false;
    logged_[0] = logged_[1] = 0;
}

bool ClientOutput::continueExitLog(qsizetype slice) {
    const GuilogBatch batch; // a slice's lines go out in one write per output
    // One log line per step: a finding's own line, each zero it filled in, a counter's line.
    for (qsizetype lines = 0; lines < slice && next_ < notes_.size(); ++lines) {
        const char* p = notes_.constData() + next_;
        const char kind = char(p[0] & ~kCompact);
        uint32_t value = 0;
        if (!(p[0] & kCompact)) std::memcpy(&value, p + 1, sizeof value);
        const char* first = p + 1 + sizeof value;
        if (kind >= kFirstCounter) {
            const CounterLine& c = kCounterLines[kind - kFirstCounter];
            guilog("%s %s=%s %s=%d\n", kLog, c.text, first, c.name, int32_t(value));
            next_ = first + std::strlen(first) + 1 - notes_.constData();
            continue;
        }
        const TimeLine& t = kTimeLines[int(kind)];
        qsizetype& size = logged_[int(kind)];
        const char* second = nullptr;
        qsizetype noteSize = 1;
        Texts made;
        if (p[0] & kCompact) {
            value = uint32_t(size); // and no zero goes before it
            made = printed(value, (run_.*t.times).value(size));
            first = made.counter;
            second = made.time;
        } else {
            second = first + std::strlen(first) + 1;
            noteSize = second + std::strlen(second) + 1 - p;
        }
        if (!headerLogged_) {
            guilog("%s %s=|%s| qstrtime=|%s|\n", kLog, t.label, first, second);
            headerLogged_ = true;
        } else if (fillsZero(value, size)) {
            guilog(t.fillFormat, value, int(size));
            ++size;
        } else {
            --lines; // the time itself logs nothing more
            ++size;
            next_ += noteSize;
            headerLogged_ = false;
        }
    }
    if (next_ < notes_.size()) return false;
    guilog("%s qsendtm->size()=%d qrecvtm->size()=%d\n", kLog, int(run_.qsendtm.size()),
           int(run_.qrecvtm.size()));
    return true;
}
