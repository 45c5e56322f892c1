#include "platform/signal_channel.h"

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace plat {

signal_channel::signal_channel(std::initializer_list<int> signals) {
    sigset_t set;
    sigemptyset(&set);
    for (int s : signals)
        sigaddset(&set, s);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

signal_channel::~signal_channel() {
    if (fd_ >= 0) ::close(fd_);
}

int signal_channel::take() {
    signalfd_siginfo info;
    if (fd_ < 0 || ::read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

void ignore_broken_pipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace plat
