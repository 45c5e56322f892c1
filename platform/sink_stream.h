// A stdio stream whose bytes go to a function instead of a file, so code that prints with
// fprintf can print into a memory queue.
#pragma once

#include <cstddef>
#include <cstdio>

namespace plat {

// Receives every chunk the stream writes out; the chunk is taken whole. False when the sink has
// failed: the stream then reports an error (ferror, and EOF from fflush).
using sink_function = bool (*)(void* context, const char* data, size_t size);

// A write-only stream with a buffer of its own of `buffer_size` bytes, buffered as `mode` says
// (_IOFBF: chunks reach `sink` when the buffer fills and on fflush; _IOLBF: also at each line
// end). Null on failure. Close it with fclose.
std::FILE* open_sink_stream(sink_function sink, void* context, size_t buffer_size,
                            int mode = _IOFBF);

} // namespace plat
