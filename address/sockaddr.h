// The IPv4 address record built from a host text and a port text.
#pragma once

#include "platform/socket_api.h"

// Family and port (low 16 bits of atoi of the port text, network order) and the address of a
// dotted-decimal text: a null or empty text, or one starting with "0.0.0.0", gives the wildcard
// address; a text that is not an address gives 255.255.255.255. No name look-up is made.
sockaddr_in create_sockaddrin(int family, const char* host, const char* port);
