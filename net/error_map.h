// The library's one way of turning a failed platform call into a result: the call's code is
// stored in errno, and returned negated if the operation accepts it, else the operation's
// default failure code.
#pragma once

#include <initializer_list>

namespace net_detail {

using AcceptedSet = std::initializer_list<int>;

int map_error(AcceptedSet accepted, int fallback);

} // namespace net_detail
