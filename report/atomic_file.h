// Report files that readers must only ever see whole, and that never clobber what a path names
// by mistake. A new version goes to a temporary file beside its target, which is then renamed
// over it in one step: a reader (node_exporter's textfile collector, for one) finds either the
// old file or the new one, never a part, and a run killed on the way leaves the old file as it
// was. A path that is a symbolic link is followed to its target, which is replaced (the link
// stays); a target that exists and is not a regular file (a directory, a device such as
// /dev/null, a FIFO, a socket) is refused, never replaced. New files get the usual permissions
// of a new file (0666 less the umask), so a collector running as another user can read them.
#pragma once

#include <cstdio>
#include <string>

// Where a report named `path` goes. `file` is the end of the chain of symbolic links (a
// dangling link names the file to create); `error` says why the path cannot take a report (an
// empty name, a target that is no regular file, a loop of links), and `file` is then empty.
struct report_target {
    std::string file;
    std::string error;
};
report_target report_target_of(const std::string& path);

// A new version of the file at `path`, written through stream() and put in place by commit().
// Until then the target is untouched; a version never committed is removed with the object.
class file_replacement {
  public:
    file_replacement() = default;
    ~file_replacement();
    file_replacement(const file_replacement&) = delete;
    file_replacement& operator=(const file_replacement&) = delete;

    // Finds the target and creates the temporary file beside it, written through a buffer of
    // `buffer` bytes. Empty on success, else why not (nothing is left behind).
    std::string open(const std::string& path, size_t buffer = BUFSIZ);
    std::FILE* stream() const { return stream_; }

    // Closes the temporary file and renames it over the target. Empty on success, else why
    // not; the temporary file is then removed and the target left as it was.
    std::string commit();

  private:
    // Takes the stream's buffered bytes into the temporary file, keeping the first failure.
    static bool sink(void* context, const char* data, size_t size);

    std::string file_; // the resolved target
    std::string temp_;
    std::FILE* file_f_ = nullptr; // the temporary file, unbuffered
    std::FILE* stream_ = nullptr; // buffered in front of it
    int write_error_ = 0;
};

// Replaces the file at `path` with `contents`, as a file_replacement does. Empty on success,
// else why not.
std::string replace_file(const std::string& path, const std::string& contents);

// Checks before a run that replace_file can replace `path`: the target is acceptable and a
// temporary file can be created beside it. Empty when it can, else why not.
std::string check_replaceable(const std::string& path);
