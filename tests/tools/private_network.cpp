#include "tests/tools/private_network.h"

#include "tests/address/isolated_name_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool write_file(const char* path, const std::string& text) {
    FILE* f = std::fopen(path, "w");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Without root, a user namespace of our own (with our ids mapped) grants the right to make the
// network namespace and, later, the mount namespace.
std::string enter_network_namespace() {
    if (::unshare(CLONE_NEWNET) == 0) return "";
    if (errno != EPERM) return failed("unshare(CLONE_NEWNET)");
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return failed("unshare(CLONE_NEWUSER)");
    write_file("/proc/self/setgroups", "deny");
    if (!write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
        return failed("writing the user namespace maps");
    return "";
}

std::string loopback_up() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return failed("socket");
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    std::string why;
    if (::ioctl(fd, SIOCGIFFLAGS, &ifr) != 0) {
        why = failed("reading the flags of lo");
    } else {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
        if (::ioctl(fd, SIOCSIFFLAGS, &ifr) != 0) why = failed("bringing lo up");
    }
    ::close(fd);
    return why;
}

} // namespace

std::string enter_private_network(const std::string& hosts_contents) {
    if (std::string why = enter_network_namespace(); !why.empty()) return why;
    if (std::string why = loopback_up(); !why.empty()) return why;
    return isolate_name_files(hosts_contents);
}

} // namespace testsupport
