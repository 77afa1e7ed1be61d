#include "util/check.h"

#include <cstdio>
#include <cstdlib>

namespace orin {

void AssertionFailed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

}  // namespace orin
