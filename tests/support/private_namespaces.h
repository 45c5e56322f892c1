// Namespaces of the test process's own, so that tests which resolve names or bind well-known
// ports use only what they put in place and nothing they do can leave the machine. Everything
// the test starts afterwards inherits them. Without root, a user namespace with the caller's
// ids mapped grants the right to make them.
#pragma once

#include <string>

namespace testsupport {

// A mount namespace in which /etc/hosts holds `hosts_contents` and host, service and protocol
// look-ups use the files database only (the resolver configuration names the loopback, in case a
// look-up ever gets past it). Empty on success, else why it could not be set up.
std::string isolate_name_files(const std::string& hosts_contents);

// A network namespace with only the loopback interface, up, plus isolate_name_files: no look-up
// or datagram can leave it. Empty on success, else why it could not be set up.
std::string enter_private_network(const std::string& hosts_contents);

// Mounts a fresh tmpfs on the directory `dir`, in a mount namespace of the test process's own
// (entered on the first call), with mount(2)'s `flags` (MS_RDONLY for a read-only directory) and
// `options` ("size=16k" for a disk that fills up). Nothing outside the process sees it; unmount
// it with unmount_private(dir) before removing `dir`. Empty on success, else why not.
std::string mount_private_tmpfs(const std::string& dir, unsigned long flags,
                                const std::string& options);
void unmount_private(const std::string& dir);

} // namespace testsupport
