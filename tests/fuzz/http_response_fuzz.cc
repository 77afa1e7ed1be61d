// The HTTP response reader on arbitrary bytes: status line, headers, and
// chunked, length-delimited or close-delimited bodies. The first byte picks
// the read size, so every split of the input is reached.
#include <cstddef>
#include <cstdint>
#include <string>

#include "network/http_response_stream.h"
#include "network/memory_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t step = 1 + data[0] % 16;
  orin::MemoryConnection connection(std::string(reinterpret_cast<const char*>(data + 1), size - 1),
                                    step);
  orin::HTTPResponseStream stream(&connection, 1);
  if (!stream.ReadHead()) return 0;
  std::string body;
  stream.ReadAll(&body);
  // A delimited body never yields more than it announced.
  if (stream.content_length() >= 0 && static_cast<int64_t>(body.size()) > stream.content_length())
    __builtin_trap();
  return 0;
}
