// The far end of a measurement: answers every probe datagram with its first bytes, cut or
// padded with zeros to the echo size the probe asks for.
#pragma once

#include "engine/run_observer.h"

#include <cstdint>

// Binds a UDP socket to ipaddr:ipport and serves requests one after another. Returns only when
// the socket cannot be created or bound (the negative socket library result, with nothing
// served) or when SIGINT/SIGTERM asked reboundsrv to stop (0). Every datagram and echo is
// reported to `observer`; without one, the lines go to standard output.
int32_t rebound_listen(const char* ipaddr, int32_t ipport, responder_observer* observer = nullptr);
