// A TCP connection whose sending end stays full: for tests of sends and writability waits that
// must block until their limit.
#pragma once

namespace testsupport {

// Fills the send path of the connected TCP socket `fd`, whose peer reads nothing, until the
// peer's receive window is closed and every byte sent so far has been acknowledged. A send
// that merely would block is not enough: acknowledgements still on their way free space a
// moment later, the later the busier the machine. From the state reached here nothing frees
// space until the peer reads, so `fd` stays not writable and a send on it blocks.
void fill_tcp_send_path(int fd);

} // namespace testsupport
