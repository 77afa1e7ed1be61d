#include "output/buffered_output.h"

#include <algorithm>
#include <cstring>

namespace orin {

BufferedOutput::BufferedOutput(int32_t buffer_size)
    : buffer_(std::make_unique_for_overwrite<char[]>(buffer_size > 0 ? buffer_size : 1)),
      capacity_(buffer_size > 0 ? buffer_size : 1) {}

BufferedOutput::~BufferedOutput() = default;

int32_t BufferedOutput::Write(const char* data, int32_t length) {
  length = Measure(data, length);
  if (length == 0) return 0;
  int32_t done = 0;
  while (done < length) {
    if (length - done > capacity_ - used_) {
      // Fill what is left, or drain first when the data fits a whole buffer.
      if (length <= capacity_ || used_ == capacity_) Flush();
    }
    int32_t take = std::min(length - done, capacity_ - used_);
    std::memcpy(buffer_.get() + used_, data + done, static_cast<size_t>(take));
    used_ += take;
    done += take;
  }
  NoteLast(data, length);
  return length;
}

int32_t BufferedOutput::Flush() {
  if (used_ == 0) return 0;
  int32_t r = Send(buffer_.get(), used_);
  used_ = 0;
  return r;
}

}  // namespace orin
