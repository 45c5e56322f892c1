#include "app/client_record.h"

#include "address/net_address.h"
#include "app/client_line.h"
#include "engine/line_kinds.h"
#include "util/timestamp.h"

#include <arpa/inet.h>
#include <cstring>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

using namespace client_line;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSecondsPerDay = 86400.0;

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void bump(int32_t& counter) {
    if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}

} // namespace

double lineStamp(QByteArrayView line) {
    // "YYYY/MM/DD HH:MM:SS.ffffff": 26 characters.
    constexpr qsizetype kTextLength = 26;
    if (line.size() < kTextLength) return kNaN;
    char text[kTextLength + 1] = {};
    std::copy_n(line.data(), kTextLength, text);
    int y, mo, d, h, mi;
    double s;
    char tail = 0;
    if (std::sscanf(text, "%4d/%2d/%2d %2d:%2d:%9lf%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return kNaN;
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return kNaN;
    return double(daysFromCivil(y, mo, d)) * kSecondsPerDay + h * 3600.0 + mi * 60.0 + s;
}

namespace {

// The fixed text a format begins with, up to its first conversion.
QByteArrayView fixedStart(const char* format) {
    return QByteArrayView(format, qsizetype(std::strchr(format, '%') - format));
}

// The start line naming the responder's address: the run's start for its observers. An IPv4
// responder's line gives its four bytes, an IPv6 one's its text.
void startLine(QByteArrayView line, const RunResults& results, rebound_observer* events) {
    const char* format = line_spec_of(line_kind::start_address).format;
    const char* format6 = line_spec_of(line_kind::start_address6).format;
    const bool v6 = line.startsWith(fixedStart(format6));
    if (!events || !(v6 || line.startsWith(fixedStart(format)))) return;
    const QByteArray text = line.toByteArray(); // terminated
    int port = 0;
    net_address address;
    if (v6) {
        // The address text runs to the next blank, and never beyond its slot.
        static const std::string bounded = [format6] {
            std::string f = format6;
            return f.replace(f.find("%s"), 2, "%" + std::to_string(kEndpointTextSize - 1) + "s");
        }();
        char host[kEndpointTextSize] = {};
        if (std::sscanf(text.constData(), bounded.c_str(), host, &port) != 2 ||
            !parse_address_literal(host, uint16_t(port), &address).empty())
            return;
    } else {
        unsigned stored = 0;
        int a, b, c, d;
        if (std::sscanf(text.constData(), format, &stored, &a, &b, &c, &d, &port) != 6) return;
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_port = htons(uint16_t(port));
        v4.sin_addr.s_addr = htonl(uint32_t(a & 0xFF) << 24 | uint32_t(b & 0xFF) << 16 |
                                   uint32_t(c & 0xFF) << 8 | uint32_t(d & 0xFF));
        address = v4;
    }
    events->run_started({nullptr, nullptr, address, get_timestamp(), results.planned});
}

} // namespace

bool addClientLine(QByteArrayView line, RunResults* results, rebound_observer* events) {
    startLine(line, *results, events);
    const bool phase1 = line.contains(kPhase1);
    if (!phase1 && !line.contains(kPhase2)) return false;
    rebound_info& r = results->record;
    const rebound_counters before{r.sendpkts, r.recvpkts};
    if (phase1 && line.contains(kSend) && line.contains(kTimeField)) {
        // Stored whatever the send gave, as the client does; only a send of some bytes counts.
        const int i = toInt(valueAfter(line, kIteration));
        const int sent = toInt(valueAfter(line, kSendResult, true));
        const double duration = toSeconds(valueAfter(line, kTimeField));
        r.iterpkts = i;
        if (inRecord(i)) r.sendtime[i] = duration;
        // Probes go out numbered 0, 1, 2, ...: a number beyond the next one is no probe of
        // this run, and is only counted (a line cannot make the window keep records for
        // probes never sent).
        const bool probe = i >= 0 && i <= results->span;
        if (probe && i == results->span) ++results->span;
        if (sent > 0) {
            bump(r.sendpkts);
            if (inRecord(i)) results->marks[i] |= kMarkSent;
        } else {
            bump(r.sendfailpkts);
        }
        const double stamp = lineStamp(line);
        if (std::isnan(results->firstStamp)) results->firstStamp = stamp;
        const double offset = std::isnan(stamp) ? 0.0 : stamp - results->firstStamp;
        if (events && probe)
            events->probe_sent({i, nullptr, sent, sent, 0, duration, offset, before});
    } else if (line.contains(kRecv) && line.contains(kEchoSequence)) {
        const int seq = toInt(valueAfter(line, kEchoSequence));
        const int size = toInt(valueAfter(line, kRecvResult));
        r.iterpkts = seq;
        // A line for a receive that failed carries no echo.
        if (size <= 0) {
            results->counters = countersOf(r);
            return true;
        }
        // Phase 1 times the echo; phase 2 only counts it, and it came after its wait.
        const double rtt = phase1 ? toSeconds(valueAfter(line, kTimeField)) : kNaN;
        uint8_t marks = 0;
        const bool known = inRecord(seq);
        if (known && (results->marks[seq] & kMarkAnswered)) marks |= REBOUND_ECHO_DUPLICATE;
        if (!phase1 || rtt > results->timeout) marks |= REBOUND_ECHO_LATE;
        if (seq < results->highestSeq) marks |= REBOUND_ECHO_OUT_OF_ORDER;
        if (known && !(marks & REBOUND_ECHO_DUPLICATE)) {
            if (phase1) r.recvtime[seq] = rtt;
            results->marks[seq] |= kMarkAnswered | (phase1 ? kMarkTimed : 0) |
                                   ((marks & REBOUND_ECHO_LATE) ? kMarkLate : 0);
        }
        bump(r.recvpkts);
        bump(marks & REBOUND_ECHO_DUPLICATE ? r.duppkts : r.uniqpkts);
        if (marks & REBOUND_ECHO_LATE) bump(r.latepkts);
        if (marks & REBOUND_ECHO_OUT_OF_ORDER) bump(r.reorderpkts);
        results->highestSeq = std::max<int64_t>(results->highestSeq, seq);
        if (events && seq >= 0 && seq < results->span)
            events->echo_received({phase1 ? 1 : 2, toInt(valueAfter(line, kIteration)), seq, {},
                                   size, rtt, false, marks, before});
    } else {
        return false;
    }
    results->counters = countersOf(r);
    return true;
}
