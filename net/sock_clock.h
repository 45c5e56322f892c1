// The library's clock for its timed operations.
#pragma once

// The current calendar time in whole seconds: elapsed times of the timed operations move in
// steps of one second.
double sock_clock();
