// Framed transfers on a connected stream socket for text protocols: one line, one header
// block, one chunk of chunked transfer coding. The receivers look at the data first without
// consuming it and then take exactly the framed bytes, so what belongs to the next unit stays
// in the socket.
#pragma once

#include "net/socket.h"

#include <cstdint>

// One line through its LF into `buf` (first `len` bytes cleared first): the line's length, or
// 0 when the peer closed or `timeout` passed before a whole line arrived (a zero byte ahead of
// the LF hides it). -WSAETIMEDOUT when a wait for data runs out; -1 (errno untouched) when a look
// at the data fails.
int32_t tcp_recv_line(int32_t sock, char* buf, int len, double timeout);

// A header block through its empty line ("\r\n\r\n"); when the data stops growing without
// one, everything that came is taken. Results as tcp_recv_line.
int32_t tcp_recv_header(int32_t sock, char* buf, int len, double timeout);

// One chunk: its hexadecimal size line (at most 6 bytes, read up to the LF; lower-case digits,
// at most 4 of them count), the data, the CR LF behind it. Returns the size the sender declared;
// data beyond `len` is read and dropped. A size of 0 ends the body and gives 0, leaving what
// follows in the socket; so does a `len` of 0, which takes none of the data. A peer that
// closes within the size line gives the bytes of it read so far. A chunk whose data ends early
// (the peer closed, or the overall time ran out, before all of it came) gives SOCKERR_FAIL,
// never its size; the bytes that came stay in `buf`. -WSAETIMEDOUT whenever the overall `timeout`
// is found spent.
int32_t tcp_recv_chunk(int32_t sock, char* buf, int len, double timeout);

// One chunk: "<len in lower-case hex>\r\n", the data, "\r\n" (the data and the closing CR LF
// are left out for `len` 0, the last chunk). Returns the bytes sent. Lengths outside 0 to
// 0xFFFFF are refused with SOCKERR_FAIL before anything is sent.
int32_t tcp_send_chunk(int32_t sock, const char* data, int len, double timeout);

// The value of up to the first 4 characters of `text`, stopping at a CR: '0'-'9' and 'a'-'f'
// are digits, every other byte (upper-case letters included) counts as 0. A zero byte ends the
// text: it and the positions after it count as 0 and are not read, so a shorter text is safe.
int parse_hex4(const char* text);
