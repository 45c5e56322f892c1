// Standard output of code under test, taken at the file-descriptor level so that everything
// printed through stdio or directly to descriptor 1 is caught.
#pragma once

#include <functional>
#include <string>

namespace testsupport {

// Runs `body` with standard output sent to a temporary file and returns what it printed.
std::string capture_stdout(const std::function<void()>& body);

// The same in a forked child process, for code whose result depends on process-wide state as
// it is when a program starts.
std::string capture_stdout_in_child(const std::function<void()>& body);

} // namespace testsupport
