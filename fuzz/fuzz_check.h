// The promise checks of the fuzz targets: a broken promise aborts, which libFuzzer reports as a
// crash with the input that broke it.
#pragma once

#include <cstdlib>

inline void check(bool promise) {
    if (!promise) std::abort();
}
