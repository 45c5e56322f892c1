#include "app/client_output.h"

#include "app/client_line.h"
#include "app/guilog.h"

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

void note(QByteArray* notes, char kind, uint32_t value,
          std::initializer_list<QByteArrayView> texts) {
    notes->append(kind);
    notes->append(reinterpret_cast<const char*>(&value), sizeof value);
    for (QByteArrayView text : texts) {
        const qsizetype nul = text.indexOf('\0');
        notes->append(nul >= 0 ? text.first(nul) : text);
        notes->append('\0');
    }
}

// One finding read back from the notes.
struct Finding {
    char kind;
    uint32_t value;
    const char* first;  // the counter's cut text
    const char* second; // the time's cut text (time kinds only)
    qsizetype size;     // bytes of the note
};

Finding readNote(const QByteArray& notes, qsizetype at) {
    const char* p = notes.constData() + at;
    Finding f{};
    f.kind = p[0];
    std::memcpy(&f.value, p + 1, sizeof f.value);
    f.first = p + 1 + sizeof f.value;
    const char* end = f.first + std::strlen(f.first) + 1;
    if (f.kind < kFirstCounter) {
        f.second = end;
        end = f.second + std::strlen(f.second) + 1;
    }
    f.size = end - p;
    return f;
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
            while (fillsZero(v, times.size()))
                times.append(0.0);
            times.append(toSeconds(time));
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
    // One log line per step: a finding's own line, each zero it filled in, a counter's line.
    for (qsizetype lines = 0; lines < slice && next_ < notes_.size(); ++lines) {
        const Finding f = readNote(notes_, next_);
        if (f.kind >= kFirstCounter) {
            const CounterLine& c = kCounterLines[f.kind - kFirstCounter];
            guilog("%s %s=%s %s=%d\n", kLog, c.text, f.first, c.name, int32_t(f.value));
            next_ += f.size;
            continue;
        }
        const TimeLine& t = kTimeLines[int(f.kind)];
        qsizetype& size = logged_[int(f.kind)];
        if (!headerLogged_) {
            guilog("%s %s=|%s| qstrtime=|%s|\n", kLog, t.label, f.first, f.second);
            headerLogged_ = true;
        } else if (fillsZero(f.value, size)) {
            guilog(t.fillFormat, f.value, int(size));
            ++size;
        } else {
            --lines; // the time itself logs nothing more
            ++size;
            next_ += f.size;
            headerLogged_ = false;
        }
    }
    if (next_ < notes_.size()) return false;
    guilog("%s qsendtm->size()=%d qrecvtm->size()=%d\n", kLog, int(run_.qsendtm.size()),
           int(run_.qrecvtm.size()));
    return true;
}
