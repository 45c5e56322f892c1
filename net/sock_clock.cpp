#include "net/sock_clock.h"

#include <ctime>

double sock_clock() {
    return static_cast<double>(std::time(nullptr));
}
