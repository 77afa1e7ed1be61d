#include "output/null_output.h"

namespace orin {

int32_t NullOutput::Sink(const char* data, int32_t length) {
  length = Measure(data, length);
  if (length > 0) NoteLast(data, length);
  return callback_ ? callback_(data, length) : length;
}

}  // namespace orin
