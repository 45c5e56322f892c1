#include "tests/support/child_process.h"
#include "tests/support/read_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

std::string temp_file(const char* tag) {
    std::string pattern = std::string("/tmp/rebound-") + tag + "-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) ::close(fd);
    return pattern;
}

} // namespace

std::string program_path(const std::string& name) {
    return std::string(REBOUND_BIN_DIR) + "/" + name;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!out_path_.empty()) ::unlink(out_path_.c_str());
    if (!err_path_.empty()) ::unlink(err_path_.c_str());
}

bool ChildProcess::start(const std::string& path, const std::vector<std::string>& args,
                         int output) {
    out_path_ = temp_file("out");
    err_path_ = temp_file("err");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        const int out =
            output == kCaptureOutput ? ::open(out_path_.c_str(), O_WRONLY | O_TRUNC) : output;
        const int err = ::open(err_path_.c_str(), O_WRONLY | O_TRUNC);
        if (out >= 0) ::dup2(out, 1);
        if (output == kClosedOutput) ::close(1);
        ::dup2(err, 2);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    return true;
}

bool ChildProcess::wait(std::chrono::milliseconds limit) {
    if (exited_) return true;
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        rusage usage{};
        const int r = ::wait4(pid_, &status, WNOHANG, &usage);
        if (r == pid_) {
            exited_ = true;
            peak_rss_kib_ = usage.ru_maxrss;
            if (WIFEXITED(status)) exit_code_ = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) term_signal_ = WTERMSIG(status);
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::signal(int sig) {
    if (pid_ > 0 && !exited_) ::kill(pid_, sig);
}

std::string ChildProcess::out() const {
    return read_file(out_path_);
}
std::string ChildProcess::err() const {
    return read_file(err_path_);
}
std::vector<std::string> ChildProcess::out_lines() const {
    return split_lines(out());
}

bool ChildProcess::wait_for_output(const std::string& text, std::chrono::milliseconds limit) const {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (out().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

RunResult run_program(const std::string& name, const std::vector<std::string>& args,
                      std::chrono::milliseconds limit) {
    ChildProcess p;
    RunResult r;
    if (!p.start(program_path(name), args)) return r;
    if (!p.wait(limit)) p.signal(SIGKILL), p.wait();
    r.exit_code = p.exit_code();
    r.term_signal = p.term_signal();
    r.peak_rss_kib = p.peak_rss_kib();
    r.out = p.out();
    r.err = p.err();
    r.lines = split_lines(r.out);
    return r;
}

} // namespace testsupport
