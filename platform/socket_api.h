// The socket interface the libraries and the engine are written against: the calls of a
// BSD-style socket API, each reporting failure with -1 and leaving the failure's code for
// last_socket_error(). This header and its .cpp are the only place that calls the operating
// system's socket functions.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>

namespace plat {

// Size of the record handed to the socket calls for each address family; the local address
// record is the 2-byte family followed by the 108-byte path.
inline constexpr int kInetAddrLen = sizeof(sockaddr_in);   // 16
inline constexpr int kInet6AddrLen = sizeof(sockaddr_in6); // 28
inline constexpr int kLocalAddrLen = sizeof(sockaddr_un);  // 110

// Start-up and clean-up of the socket service. Linux needs neither; they only keep the count
// of start-ups not yet cleaned up, so a test can see which operations start or clean up.
int startup(); // 0 on success, non-zero when the service "did not start"
void cleanup();
int service_count(); // start-ups minus clean-ups, for tests
void fail_startup_for_test(bool fail);

// The code of the latest failed call on this thread, in the Windows Sockets numbering the
// library maps from (10xxx where such a code exists, else the runtime's errno value).
int last_socket_error();

int socket(int family, int type, int protocol);
int closesocket(int sock);
int bind(int sock, const sockaddr* addr, int len);
int listen(int sock, int backlog);
int accept(int sock, sockaddr* addr, int* len);
int connect(int sock, const sockaddr* addr, int len);
int getsockname(int sock, sockaddr* addr, int* len);
int getpeername(int sock, sockaddr* addr, int* len);
int getsockopt(int sock, int level, int name, void* value, int* len);
int setsockopt(int sock, int level, int name, const void* value, int len);
int set_nonblocking(int sock, bool on); // the FIONBIO switch: 0 on success
int send(int sock, const void* buf, int len, int flags);
int recv(int sock, void* buf, int len, int flags);
int sendto(int sock, const void* buf, int len, int flags, const sockaddr* to, int tolen);
int recvfrom(int sock, void* buf, int len, int flags, sockaddr* from, int* fromlen);

// What the kernel tells about a received datagram beside its bytes.
struct ReceiveReadings {
    // Arrival stamp in nanoseconds of the wall clock (CLOCK_REALTIME); 0 when none was given
    // (SO_TIMESTAMPNS off).
    int64_t stamp_ns = 0;
    // Datagrams the kernel dropped so far because the socket's receive buffer was full, counted
    // since SO_RXQ_OVFL was turned on; -1 when it was not reported.
    int64_t buffer_drops = -1;
    // The type-of-service byte or traffic class it arrived with; -1 unless SOCKOPT_RECVTOS or
    // SOCKOPT_RECVTCLASS is on.
    int traffic_class = -1;
};

// The type-of-service byte (IPv4) or traffic class (IPv6) a control message of a receive
// carries; -1 when it carries neither.
int control_traffic_class(const cmsghdr* c);

// recvfrom that also yields the kernel's readings of the datagram.
int recvfrom_stamped(int sock, void* buf, int len, int flags, sockaddr* from, int* fromlen,
                     ReceiveReadings* readings);

// Empties the socket's queue of ICMP errors (kept there with IP_RECVERR after a receive
// reported one), so it cannot fill up; the number of errors taken.
int clear_error_queue(int sock);

// The longest a blocking receive on `sock` waits before it fails with EAGAIN, in nanoseconds
// (at least one microsecond: the kernel reads 0 as "no limit"). A receive so limited is never
// restarted after a signal handler ran: it fails with EINTR.
int set_receive_limit(int sock, int64_t limit_ns);

// Ends the receive side of `sock`: a receive blocked on it, or started later, returns at once
// (with nothing). Async-signal-safe; the socket stays open and can still send.
int end_receiving(int sock);

// Grows the receive buffer of `sock` to hold at least `bytes` (never shrinks it). Past the
// system's limit for users (net.core.rmem_max) it grows only for a privileged process; 0 when
// the buffer holds `bytes` now, -1 when it stays smaller.
int grow_receive_buffer(int sock, int bytes);

// Readiness of one socket, answered as select() would: the number of the asked-for sets
// (read, write, exception) in which the socket is ready, 0 when the limit passed, -1 on
// failure (an invalid handle included). A null limit waits without end. Implemented with
// ppoll, so handles of 1024 and above are safe.
struct Readiness {
    bool read = false;
    bool write = false;
    bool except = false;
};
int select_one(int sock, Readiness want, const timeval* limit, Readiness* ready = nullptr);

inline constexpr Readiness kReadable{true, false, false};
inline constexpr Readiness kWritable{false, true, false};

// Removes a file by path; the result is ignored by callers that only clear a stale path.
int unlink(const char* path);

// Address text conversion for IPv4 dotted text: INADDR_NONE (all ones) when not an address.
uint32_t inet_addr(const char* text);

} // namespace plat
