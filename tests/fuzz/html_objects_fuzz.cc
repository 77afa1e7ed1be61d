// The object scanner of ZtCALL on arbitrary bodies, in blocks of a size the
// first byte picks. Every object must come from the input in order.
#include <cstddef>
#include <cstdint>
#include <string>

#include "network/call_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t at = 0;
  size_t step = 1 + data[0] % 32;
  orin::CallBuffer buffer(
      [&](char* out, int32_t capacity, std::string*) -> int32_t {
        size_t n = std::min({static_cast<size_t>(capacity), step, body.size() - at});
        body.copy(out, n, at);
        at += n;
        return static_cast<int32_t>(n);
      },
      1 + data[0] % 7);
  orin::HtmlObject object;
  std::string joined;
  while (buffer.Next(&object) == 1) {
    if (object.raw.empty()) __builtin_trap();
    joined += object.raw;
  }
  // What the scanner delivered is exactly a prefix of the body.
  if (body.compare(0, joined.size(), joined) != 0) __builtin_trap();
  return 0;
}
