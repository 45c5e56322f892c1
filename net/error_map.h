// The library's one way of turning a failed platform call into a result: the call's code is
// stored in errno, and if the operation accepts it, the accepted entry's result is returned
// (the code negated, unless the entry names another result); otherwise the operation's default
// failure code.
#pragma once

#include <initializer_list>

namespace net_detail {

struct Accept {
    // An accepted code reported as itself, negated.
    constexpr Accept(int code) : code(code), result(-code) {}
    // An accepted code reported as another result: a send into a connection closed for
    // sending fails with EPIPE here, where the callers expect the shut-down code -WSAESHUTDOWN.
    constexpr Accept(int code, int result) : code(code), result(result) {}
    int code;
    int result;
};

using AcceptedSet = std::initializer_list<Accept>;

int map_error(AcceptedSet accepted, int fallback);

// The same for a code that did not come from the latest failed call (a connect's pending
// error): stored in errno, then the accepted entry's result or `fallback`.
int map_code(int code, AcceptedSet accepted, int fallback);

} // namespace net_detail
