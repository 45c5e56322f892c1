// A stdio stream whose bytes go to a function instead of a file, so code that prints with
// fprintf can print into a memory queue.
#pragma once

#include <cstddef>
#include <cstdio>

namespace plat {

// Receives every chunk the stream writes out; the chunk is taken whole.
using sink_function = void (*)(void* context, const char* data, size_t size);

// A fully buffered write-only stream with a buffer of `buffer_size` bytes: chunks reach `sink`
// when the buffer fills and on fflush. Null on failure. Close it with fclose.
std::FILE* open_sink_stream(sink_function sink, void* context, size_t buffer_size);

} // namespace plat
