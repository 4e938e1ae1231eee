// The barrier between C++ and the interpreter.
//
// A C++ exception must never unwind through CPython's frames. Nothing in the
// core throws for any input Python can pass; what can still throw is memory
// exhaustion (std::bad_alloc) or a library bug, and neither has a recovery
// path: like every other broken invariant it ends the process through
// `fatal`. Every entry point the interpreter calls runs its body through
// `guarded`.
#pragma once

#include <exception>
#include <utility>

#include "types/numeric.hpp"

namespace orvane::py {

template <typename Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& e) {
    ::orvane::fatal(e.what(), __FILE__, __LINE__);
  } catch (...) {
    ::orvane::fatal("unknown C++ exception reached the Python boundary", __FILE__, __LINE__);
  }
}

}  // namespace orvane::py
