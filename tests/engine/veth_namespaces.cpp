#include "veth_namespaces.h"

#include "tests/support/ip_command.h"

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <utility>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr const char* kPrefixLength = "/24";

} // namespace

bool VethNamespaces::ip(const std::vector<std::string>& args) {
    error_ = run_ip(args);
    return error_.empty();
}

VethNamespaces::VethNamespaces() {
    // Names unique to this process: tests running side by side never meet.
    const std::string id = std::to_string(::getpid());
    near_ = "rbnear" + id;
    far_ = "rbfar" + id;
    near_end_ = "rbn" + id; // interface names have at most 15 characters
    far_end_ = "rbf" + id;
    for (const auto& ns : {near_, far_}) {
        if (!ip({"netns", "add", ns})) return;
        made_.push_back(ns);
    }
    if (!ip({"link", "add", near_end_, "netns", near_, "type", "veth", "peer", "name", far_end_,
             "netns", far_}) ||
        !add_subnet(kNearAddress, kFarAddress))
        return;
    for (const auto& [ns, end] : {std::pair{near_, near_end_}, std::pair{far_, far_end_}})
        if (!ip({"-n", ns, "link", "set", end, "up"}) || !ip({"-n", ns, "link", "set", "lo", "up"}))
            return;
}

bool VethNamespaces::add_subnet(const std::string& near_address, const std::string& far_address) {
    return ip({"-n", near_, "addr", "add", near_address + kPrefixLength, "dev", near_end_}) &&
           ip({"-n", far_, "addr", "add", far_address + kPrefixLength, "dev", far_end_});
}

VethNamespaces::~VethNamespaces() {
    for (const auto& ns : made_)
        ip({"netns", "del", ns});
}

int VethNamespaces::socket_in(const std::string& ns, int domain, int type, int protocol) {
    // Only the thread that enters a namespace is in it: a thread of its own keeps the test's
    // threads where they are.
    int fd = -1;
    std::thread([&] {
        const int handle = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (handle < 0) return;
        if (::setns(handle, CLONE_NEWNET) == 0) fd = ::socket(domain, type, protocol);
        ::close(handle);
    }).join();
    return fd;
}

std::vector<std::string> VethNamespaces::run_in(const std::string& ns, const std::string& program,
                                                const std::vector<std::string>& args) {
    std::vector<std::string> all{"netns", "exec", ns, program};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

} // namespace testsupport
