#include "platform/process_figures.h"

#include "platform/clock.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <ctime>
#include <unistd.h>

namespace plat {

namespace {

std::string read_small_file(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "re")) {
        char buf[1024];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

int64_t count_open_fds() {
    int64_t n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
        --n; // the directory's own descriptor
    }
    return n;
}

} // namespace

process_figures read_process_figures() {
    process_figures f;
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    const int64_t page = ::sysconf(_SC_PAGESIZE);
    // Fields after the command name, which may hold spaces and parentheses: start after the
    // last ')'. Field 3 is the state; utime and stime are 14 and 15, starttime 22, vsize 23,
    // rss 24.
    const std::string stat = read_small_file("/proc/self/stat");
    const size_t close = stat.rfind(')');
    if (close != std::string::npos && ticks > 0) {
        unsigned long long utime = 0, stime = 0, start = 0, vsize = 0;
        long long rss = 0;
        if (std::sscanf(stat.c_str() + close + 1,
                        " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu %*d %*d %*d %*d "
                        "%*d %*d %llu %llu %lld",
                        &utime, &stime, &start, &vsize, &rss) == 5) {
            f.cpu_seconds = double(utime + stime) / ticks;
            f.virtual_bytes = int64_t(vsize);
            f.resident_bytes = rss * page;
            // starttime counts ticks since boot; the boot-time clock says how long ago that
            // was (no /proc/stat, which a sandbox may hide).
            timespec since_boot{};
            if (::clock_gettime(CLOCK_BOOTTIME, &since_boot) == 0)
                f.start_time_seconds = double(wall_ns() - timespec_ns(since_boot)) /
                                           double(kNanosPerSecond) +
                                       double(start) / ticks;
        }
    }
    f.open_fds = count_open_fds();
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) f.max_fds = int64_t(limit.rlim_cur);
    return f;
}

} // namespace plat
