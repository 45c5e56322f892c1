// Every line the client and the responder print, as one table: the kind, a short name and the
// printf format. The line printer writes from it, and readers of the protocol (the window's
// output parser, the tests' line grammar) take their markers and shapes from it, so a line's
// text is written down exactly once.
#pragma once

#include <span>

enum class line_kind {
    // client: start of a run
    start_address_text,
    start_address,
    start_address_text6, // the two start lines of an IPv6 responder
    start_address6,
    start_socket,
    // client: phase 1
    send_wait_timeout,
    send_wait_error,
    probe_dump,
    send,
    send_failed,
    echo_wait_timeout,
    echo_wait_error,
    echo,
    echo_failed,
    // client: phase 2
    drain_timeout,
    drain_error,
    drained_echo,
    drained_echo_failed,
    // client: closing statistics
    stat_difftime,
    stat_sendpkts,
    stat_recvpkts,
    stat_iterpkts,
    stat_percent,
    stat_nothing_sent,
    // responder
    listen_address_text,
    listen_address,
    listen_address_text6, // the two start lines of an IPv6 address to serve on
    listen_address6,
    listen_received,
    listen_receive_failed,
    listen_sent,
    listen_send_failed,
    listen_size_mismatch,
};

// The conversion of an endpoint in the formats: "127.0.0.1:33333" or "[::1]:33333", never more
// than its text slot (kEndpointTextSize, address/net_address.h) holds. Readers of the protocol
// know the field by this spelling.
#define REBOUND_LINE_ENDPOINT "%.71s"

// The IPv6 start lines follow their IPv4 pair in the table, this many rows on.
inline constexpr int kIpv6RowOffset = 2;

struct line_spec {
    line_kind kind;
    const char* name;   // short name for tests and logs, e.g. "send", "recv1"
    const char* format; // printf format, line end included
    bool timed;         // the format begins with "%s " for the time text
};

// All kinds, in the order of the enumeration.
std::span<const line_spec> line_specs();
const line_spec& line_spec_of(line_kind kind);

// Markers readers of the protocol rely on. Only the send line and the phase-1 receive line
// hold the phase-1 marker together with the time field; the statistics lines for the counters
// hold their key, then the number.
inline constexpr const char* kLinePhase1Marker = "rebound_connect():1";
inline constexpr const char* kLinePhase2Marker = "rebound_connect():2";
inline constexpr const char* kLineSendCall = "udp_send";
inline constexpr const char* kLineRecvCall = "udp_recv";
inline constexpr const char* kLineIteration = " i=";
inline constexpr const char* kLineSendCounter = "S=";
inline constexpr const char* kLineRecvCounter = "R=";
inline constexpr const char* kLineSendResult = " sendsize=";
inline constexpr const char* kLineRecvResult = " recvsize=";
inline constexpr const char* kLineEchoSequence = " iterpkts=";
inline constexpr const char* kLineTimed = "time=";
inline constexpr const char* kLineTimeField = " time=";
inline constexpr const char* kLineStatSendpkts = "sendpkts=";
inline constexpr const char* kLineStatRecvpkts = "recvpkts=";
inline constexpr const char* kLineStatIterpkts = "iterpkts+1=";
