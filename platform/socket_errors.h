// Translation of the operating system's errno values into the Windows Sockets numbering that
// the socket library's accepted sets are written in, and back into a readable text.
#pragma once

#include <string>

namespace plat {

// How an EAGAIN/EWOULDBLOCK is to be read: on a non-blocking socket it means "would block"
// (10035); on a blocking socket it can only be an expired SO_RCVTIMEO/SO_SNDTIMEO (10060).
enum class WouldBlockMeans { WouldBlock, TimedOut };

// The 10xxx code for a socket errno where one exists; every other errno is kept as it is.
int translate_errno(int err, WouldBlockMeans again = WouldBlockMeans::WouldBlock);

// A readable text for a code in either numbering (10xxx codes and runtime errno values).
std::string error_text(int code);

} // namespace plat
