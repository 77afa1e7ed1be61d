// BufferedOutput: a fixed buffer that drains into Send, for sinks that pass
// bytes on as they come (the mail body sink builds on it).
#ifndef ORIN_OUTPUT_BUFFERED_OUTPUT_H_
#define ORIN_OUTPUT_BUFFERED_OUTPUT_H_

#include <cstdint>
#include <memory>

#include "output/output.h"

namespace orin {

class BufferedOutput : public Output {
 public:
  // Sizes below 1 are taken as 1.
  explicit BufferedOutput(int32_t buffer_size);
  ~BufferedOutput() override;

  using Output::Write;
  int32_t Write(const char* data, int32_t length) override;
  // Sends what is buffered: the result of Send, or 0 when empty.
  int32_t Flush() override;
  int32_t OutputKind() override { return kOutputBuffered; }
  virtual int32_t Send(const char* data, int32_t length) = 0;

  int32_t capacity() const { return capacity_; }
  int32_t used() const { return used_; }

 private:
  std::unique_ptr<char[]> buffer_;
  int32_t capacity_;
  int32_t used_ = 0;
};

}  // namespace orin

#endif  // ORIN_OUTPUT_BUFFERED_OUTPUT_H_
