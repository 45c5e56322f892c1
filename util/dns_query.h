// A one-question DNS query over UDP port 53 and its decoded reply.
#pragma once

#include "net/socket.h"
#include "util/dns_message.h"

// Sends a query for `name` (question type and class) to the name server at the dotted IPv4
// text `server`, port 53, and decodes one reply into *response; each of the send and the
// receive may wait up to `timeout` seconds. The reply is taken as it comes (identifier and
// sender are not compared). Returns
//   1                   the reply was decoded
//   -1                  udp_create returned -1
//   SOCKERR_FAIL        the socket could not be made, or the send or receive failed or
//                       timed out (-1001)
//   DNSERR_BAD_NAME     the name cannot be sent; nothing was sent
//   other DNSERR_ codes the reply breaks a bound (see dns_message.h); *response holds what
//                       was decoded before it
int dns_query(int type, int qclass, const char* name, const char* server, dns_response* response,
              double timeout);
