#include "types/numeric.hpp"

#include <cstdio>
#include <cstdlib>

namespace orvane {

void fatal(std::string_view what, const char* file, int line) noexcept {
  std::fprintf(stderr, "%s:%d: %.*s\n", file, line, static_cast<int>(what.size()),
               what.data());
  std::fflush(stderr);
  std::abort();
}

}  // namespace orvane
