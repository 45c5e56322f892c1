#include "tests/support/capture_stdout.h"
#include "tests/support/read_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

struct TempFile {
    std::string path = "/tmp/rebound-stdout-XXXXXX";
    int fd = ::mkstemp(path.data());
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        ::unlink(path.c_str());
    }
    std::string contents() const { return read_file(path); }
};

void run_redirected(int fd, const std::function<void()>& body) {
    std::fflush(stdout);
    const int saved = ::dup(1);
    ::dup2(fd, 1);
    body();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
}

} // namespace

std::string capture_stdout(const std::function<void()>& body) {
    TempFile file;
    run_redirected(file.fd, body);
    return file.contents();
}

std::string capture_stdout_in_child(const std::function<void()>& body) {
    TempFile file;
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        run_redirected(file.fd, body);
        ::_exit(0);
    }
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    return file.contents();
}

} // namespace testsupport
