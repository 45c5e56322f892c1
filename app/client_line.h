// What the window reads in reboundcli's output lines: every text it looks for, in one table,
// and the ways a field is cut out of a line and converted. Lines are handled as the bytes the
// client printed, without their line end.
#pragma once

#include "engine/line_kinds.h"

#include <QByteArrayView>

namespace client_line {

// The texts come from the engine's table of output lines, the one place they are written.
// The phase-1 marker marks the send line and the phase-1 receive line. A line without it loses
// exactly as many leading characters as the statistics lines' prefix "rebound_connect():" has,
// which is what leaves "sendpkts=" and its siblings at the start of the text.
inline constexpr QByteArrayView kPhase1 = kLinePhase1Marker;
inline constexpr QByteArrayView kPhase2 = kLinePhase2Marker; // the drain of late echoes

inline constexpr QByteArrayView kTimed = kLineTimed; // a timed line: send, receive, difftime
inline constexpr QByteArrayView kTimeField = kLineTimeField; // the duration, seconds
inline constexpr QByteArrayView kSend = kLineSendCall;
inline constexpr QByteArrayView kRecv = kLineRecvCall;
inline constexpr QByteArrayView kIteration = kLineIteration;     // iteration of a phase line
inline constexpr QByteArrayView kSendCounter = kLineSendCounter; // datagrams sent before the event
inline constexpr QByteArrayView kRecvCounter = kLineRecvCounter; // echoes received before the event
inline constexpr QByteArrayView kSendResult = kLineSendResult;   // the last one: bytes sent
inline constexpr QByteArrayView kRecvResult = kLineRecvResult;   // bytes of the echo
inline constexpr QByteArrayView kEchoSequence =
    kLineEchoSequence; // sequence number the echo carried

// The closing statistics, at the start of the text once the prefix is gone.
inline constexpr QByteArrayView kSendPkts = kLineStatSendpkts;
inline constexpr QByteArrayView kRecvPkts = kLineStatRecvpkts;
inline constexpr QByteArrayView kIterPkts = kLineStatIterpkts;

// The text after the first `key` up to the next blank; the whole text when `key` is absent or
// at its very start (a blank at the start of the rest does not cut either).
QByteArrayView cutField(QByteArrayView s, QByteArrayView key);

// The text after `key` (its first or its last occurrence) up to the next blank; empty when the
// line has no `key`.
QByteArrayView valueAfter(QByteArrayView line, QByteArrayView key, bool last = false);

// Base-10 conversions; a text that does not convert gives 0 (or 0.0).
uint toUnsigned(QByteArrayView text);
int toInt(QByteArrayView text);
double toSeconds(QByteArrayView text);

} // namespace client_line
