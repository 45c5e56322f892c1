// Parser of reboundcli's standard output, fed one line at a time as the lines arrive: per-packet
// send and round-trip times from the send and phase-1 receive lines, and the three counters
// from the closing statistics; every other line is ignored. The log lines of the findings are
// written once the client has ended, from a compact note of each finding, so the output lines
// themselves are never kept.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>

// Entries a list may reach through zero-fill: the capacity of the result record. A client
// output claiming a larger sequence number cannot make the window allocate more.
inline constexpr int kClientZeroFillLimit = 10000;

// Characters the exit-time log keeps of a cut text (a counter or a time: the client prints at
// most 20); a longer field is cut there, so a line's note stays small whatever the line holds.
inline constexpr qsizetype kNotedTextLimit = 40;

struct ClientRun {
    QList<double> qsendtm; // send durations, seconds, in line order
    QList<double> qrecvtm; // round-trip times, seconds, in line order
    int32_t sendpkts = 0;
    int32_t recvpkts = 0;
    int32_t iterpkts = 0; // the printed iterpkts+1
};

class ClientOutput {
  public:
    // Forgets every finding: lists empty, counters 0.
    void clear();

    // One complete line without its line end. A counter that does not convert, or does not fit
    // a signed 32-bit counter, counts as 0; a time that does not convert as 0.0. A time lands
    // at the position its S= or R= counter names or later: zeros fill the gap, up to
    // kClientZeroFillLimit entries.
    void addLine(QByteArrayView line);

    const ClientRun& run() const { return run_; }

    // The exit-time log through guilog: the entry line, one line per finding (and per zero it
    // filled in), in line order, then the sizes of both lists. Written in slices of at most
    // `slice` findings so that a long output never holds the caller for long; returns true
    // once the sizes line is written.
    void beginExitLog();
    bool continueExitLog(qsizetype slice);

    // Bytes held for the exit-time log: one per finding of the client's usual shape, at most
    // 2 * (kNotedTextLimit + 1) + 5 for any other, whatever the lines' length.
    qsizetype noteBytes() const { return notes_.size(); }

  private:
    ClientRun run_;
    // What the exit-time log needs of each finding, in line order (see client_output.cpp).
    QByteArray notes_;
    qsizetype next_ = 0;        // offset of the next finding to log
    bool headerLogged_ = false; // whether that finding's own line is written
    qsizetype logged_[2] = {};  // sizes of the send and receive lists as of that finding
};
