// A program started by a test, with its standard output (and error) captured in a file so
// nothing is lost however much it prints.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

// Full path of a program built by this project (reboundcli, reboundsrv, ...).
std::string program_path(const std::string& name);

class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess(); // kills a child still running

    // Where the child's standard output goes: kCaptureOutput (a file, read by out()),
    // kClosedOutput (no descriptor 1 at all), or a descriptor of the test's.
    static constexpr int kCaptureOutput = -1;
    static constexpr int kClosedOutput = -2;

    // Starts `path` with `args`; false if it could not be started.
    bool start(const std::string& path, const std::vector<std::string>& args,
               int output = kCaptureOutput);

    // Waits for the end; false if it did not end within `limit`.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(30));
    void signal(int sig);

    int pid() const { return pid_; }
    bool exited() const { return exited_; }
    int exit_code() const { return exit_code_; }     // valid when it exited normally
    int term_signal() const { return term_signal_; } // 0 unless a signal ended it
    long peak_rss_kib() const { return peak_rss_kib_; } // largest resident size, once ended

    std::string out() const; // standard output so far
    std::string err() const; // standard error so far
    std::vector<std::string> out_lines() const;

    // Waits until standard output holds `text` (for example a start-up line).
    bool wait_for_output(const std::string& text,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

  private:
    int pid_ = -1;
    bool exited_ = false;
    int exit_code_ = -1;
    int term_signal_ = 0;
    long peak_rss_kib_ = 0;
    std::string out_path_, err_path_;
};

// Runs a program to its end and returns it (the test then reads output and exit code).
struct RunResult {
    int exit_code = -1;
    int term_signal = 0;
    long peak_rss_kib = 0;
    std::string out, err;
    std::vector<std::string> lines;
};
RunResult run_program(const std::string& name, const std::vector<std::string>& args,
                      std::chrono::milliseconds limit = std::chrono::seconds(60));

std::vector<std::string> split_lines(const std::string& text);

} // namespace testsupport
