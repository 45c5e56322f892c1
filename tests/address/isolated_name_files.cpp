#include "tests/address/isolated_name_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {
namespace {

bool write_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Without root, a user namespace of our own grants the right to mount in the new namespace.
std::string enter_mount_namespace() {
    if (::unshare(CLONE_NEWNS) == 0) return "";
    if (errno != EPERM) return failed("unshare(CLONE_NEWNS)");
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return failed("unshare(CLONE_NEWUSER)");
    write_file("/proc/self/setgroups", "deny");
    if (!write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
        return failed("writing the user namespace maps");
    return "";
}

} // namespace

std::string isolate_name_files(const std::string& hosts_contents) {
    if (std::string why = enter_mount_namespace(); !why.empty()) return why;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("making / private");

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

} // namespace testsupport
