// Whether a file descriptor is a terminal.
#pragma once

namespace plat {

bool is_terminal(int fd);

} // namespace plat
