// ByteSink: where a response's bytes finally go. The server hands the client
// socket, the `orin run` command its standard output; platform/
// descriptor_sink.h implements both.
#ifndef ORIN_UTIL_BYTE_SINK_H_
#define ORIN_UTIL_BYTE_SINK_H_

#include <cstdint>
#include <string>

namespace orin {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Sends what the destination takes now: the count (> 0), 0 when it would
  // have to wait, or -1 on failure (ErrorText).
  virtual int32_t SendSome(const char* data, int32_t length) = 0;
  // Waits until sending can make progress: 1, 0 when the time ran out, or -1
  // on failure.
  virtual int WaitWritable(int32_t milliseconds) = 0;
  virtual const std::string& ErrorText() const = 0;
};

}  // namespace orin

#endif  // ORIN_UTIL_BYTE_SINK_H_
