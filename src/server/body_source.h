// BodySource: where a request's body comes from, as the request provides
// it (the connection of a served request, a file for `orin run`).
#ifndef ORIN_SERVER_BODY_SOURCE_H_
#define ORIN_SERVER_BODY_SOURCE_H_

#include <cstdint>

namespace orin {

class BodySource {
 public:
  virtual ~BodySource() = default;
  // What is there or arrives in one wait, up to `count` bytes; the wait
  // gives up at `deadline_ms` on the monotonic clock (0: none). Returns the
  // count, 0 at the end, -1 on failure or when the wait ran out.
  virtual int32_t ReadSome(char* buffer, int32_t count, int64_t deadline_ms) = 0;
};

}  // namespace orin

#endif  // ORIN_SERVER_BODY_SOURCE_H_
