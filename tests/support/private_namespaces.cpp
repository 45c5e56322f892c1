#include "tests/support/private_namespaces.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool write_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Enters a new namespace of `kind` (a CLONE_NEW* flag), through a user namespace of our own
// when the process lacks the right to make it directly.
std::string enter_namespace(int kind, const std::string& name) {
    if (::unshare(kind) == 0) return "";
    if (errno != EPERM) return failed("unshare(" + name + ")");
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | kind) != 0)
        return failed("unshare(CLONE_NEWUSER | " + name + ")");
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

// A mount namespace of the process's own, in which nothing it mounts is seen outside.
std::string enter_private_mounts() {
    if (std::string why = enter_namespace(CLONE_NEWNS, "CLONE_NEWNS"); !why.empty()) return why;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("making / private");
    return "";
}

} // namespace

std::string isolate_name_files(const std::string& hosts_contents) {
    if (std::string why = enter_private_mounts(); !why.empty()) return why;

    char dir[] = "/tmp/rebound_names_XXXXXX";
    if (!::mkdtemp(dir)) return failed("mkdtemp");
    const std::string base = dir;
    // The resolver configuration points at the loopback only, in case a look-up ever gets past
    // the files database.
    const struct {
        const char* target;
        std::string contents;
    } files[] = {
        {"/etc/hosts", hosts_contents},
        {"/etc/nsswitch.conf", "hosts: files\nservices: files\nprotocols: files\n"},
        {"/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n"},
    };
    for (const auto& f : files) {
        const std::string copy = base + std::strrchr(f.target, '/');
        if (!write_file(copy, f.contents)) return failed("writing " + copy);
        const bool mounted = ::mount(copy.c_str(), f.target, nullptr, MS_BIND, nullptr) == 0;
        const std::string why =
            mounted ? "" : failed(std::string("bind-mounting over ") + f.target);
        ::unlink(copy.c_str()); // the mount keeps the file's contents alive
        if (!mounted) {
            ::rmdir(base.c_str());
            return why;
        }
    }
    ::rmdir(base.c_str());
    return "";
}

std::string mount_private_tmpfs(const std::string& dir, unsigned long flags,
                                const std::string& options) {
    static const std::string entered = enter_private_mounts();
    if (!entered.empty()) return entered;
    if (::mount("tmpfs", dir.c_str(), "tmpfs", flags, options.c_str()) != 0)
        return failed("mounting a tmpfs on " + dir);
    return "";
}

void unmount_private(const std::string& dir) {
    ::umount2(dir.c_str(), MNT_DETACH);
}

std::string enter_private_network(const std::string& hosts_contents) {
    if (std::string why = enter_namespace(CLONE_NEWNET, "CLONE_NEWNET"); !why.empty()) return why;
    if (std::string why = loopback_up(); !why.empty()) return why;
    return isolate_name_files(hosts_contents);
}

} // namespace testsupport
