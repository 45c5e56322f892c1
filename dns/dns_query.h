// A one-question DNS query over UDP port 53 and its decoded reply.
#pragma once

#include "dns/dns_message.h"
#include "net/socket.h"

// Sends a query for `name` (question type and class) to the name server at the dotted IPv4
// text `server`, port 53, and decodes its reply into *response; the send may wait up to
// `timeout` seconds, and so may the wait for the reply. Only a datagram from the server's
// address and port that answers this query (dns_is_reply_to: its random identifier, the
// response flag, the same question or none) is the reply; every other datagram is dropped
// while the wait goes on. Returns
//   1                   the reply was decoded
//   -1                  udp_create returned -1
//   SOCKERR_FAIL        the socket could not be made, the send or a receive failed, or no
//                       reply came within the limit (-1001)
//   DNSERR_BAD_NAME     the name cannot be sent; nothing was sent
//   other DNSERR_ codes the reply breaks a bound (see dns_message.h); *response holds what
//                       was decoded before it
int dns_query(int type, int qclass, const char* name, const char* server, dns_response* response,
              double timeout);
