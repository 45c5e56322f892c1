// A stream connection whose sending end stays full: for tests of sends and writability waits
// that must block until their limit.
#pragma once

namespace testsupport {

// Fills the send path of `fd`, one end of a connected local (AF_UNIX) stream pair whose peer
// reads nothing, until not even one byte fits. The bytes sent are charged to `fd` until the
// peer reads them, so from here on `fd` stays not writable and a send on it blocks.
//
// A TCP connection cannot promise this: the peer's kernel may compact a receive queue of many
// small segments at any moment and reopen its window, and the acknowledged bytes then free
// space on the sending end.
void fill_send_path(int fd);

} // namespace testsupport
