#include "platform/terminal.h"

#include <unistd.h>

namespace plat {

bool is_terminal(int fd) {
    return ::isatty(fd) == 1;
}

} // namespace plat
