// Files that readers must only ever see whole: the new contents go to a temporary file beside
// the target, which is then renamed over it in one step. A reader (node_exporter's textfile
// collector, for one) finds either the old file or the new one, never a part.
#pragma once

#include <string>

// Replaces `path` with `contents`. Empty on success, else why not (the target is untouched
// and no temporary file is left behind). The file gets the usual permissions of a new file
// (0666 less the umask), so a collector running as another user can read it.
std::string replace_file(const std::string& path, const std::string& contents);

// Checks before a run that replace_file can create its temporary file beside `path`.
// Empty when it can, else why not.
std::string check_replaceable(const std::string& path);
