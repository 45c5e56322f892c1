// Parser of reboundcli's standard output: per-packet send and round-trip times from the send
// and phase-1 receive lines, and the three counters from the closing statistics. Every other
// line is ignored.
#pragma once

#include <QList>
#include <QStringList>

#include <cstdint>

// Entries a list may reach through zero-fill: the capacity of the result record. A client
// output claiming a larger sequence number cannot make the window allocate more.
inline constexpr int kClientZeroFillLimit = 10000;

struct ClientRun {
    QList<double> qsendtm; // send durations, seconds, in line order
    QList<double> qrecvtm; // round-trip times, seconds, in line order
    int32_t sendpkts = 0;
    int32_t recvpkts = 0;
    int32_t iterpkts = 0; // the printed iterpkts+1
};

// Parses the collected lines (without line ends), logging each finding through guilog.
// A counter that does not convert, or does not fit a signed 32-bit counter, counts as 0; a
// time that does not convert as 0.0. A time lands at the position its S= or R= counter names
// or later: zeros fill the gap, up to kClientZeroFillLimit entries.
ClientRun parseClientOutput(const QStringList& lines);
