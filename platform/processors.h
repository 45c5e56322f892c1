// Sharing the processor with other threads.
#pragma once

namespace plat {

// Lets any other thread that is ready to run on this processor run first; returns at once when
// there is none.
void yield_processor();

} // namespace plat
