// Where the engine's code meets code that cannot take a C++ exception: the exported entry
// (its callers are C, Visual Basic, a window procedure's caller) and the worker thread's
// start routine (an exception leaving it ends the process). Each runs its work through
// `guarded`, which answers that boundary's failure value for anything thrown. The only
// exception the engine's code can raise is std::bad_alloc (or a length_error of the same
// kind), so no failure here is worth more than its value.
#pragma once

#include <type_traits>
#include <utility>

namespace untgz {

// Answers body(), or `failure` when body throws. The answer has body's type; `failure` is
// converted to it.
template <typename Body, typename Value = std::invoke_result_t<Body&>>
Value guarded(std::enable_if_t<true, Value> failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return failure;
  }
}

}  // namespace untgz
