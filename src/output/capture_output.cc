#include "output/capture_output.h"

namespace orin {

int32_t CaptureOutput::WriteImmediate(const char* data, int32_t length) {
  return parent_ ? parent_->WriteImmediate(data, length) : Measure(data, length);
}

int32_t CaptureOutput::SetHeader(const char* name, int32_t name_length, bool owns_name,
                                 const char* value, int32_t value_length, bool owns_value) {
  if (parent_ == nullptr) {
    return Output::SetHeader(name, name_length, owns_name, value, value_length, owns_value);
  }
  return parent_->SetHeader(name, name_length, owns_name, value, value_length, owns_value);
}

int32_t CaptureOutput::SetHeader(const char* name, const char* value) {
  return parent_ ? parent_->SetHeader(name, value) : 0;
}

int32_t CaptureOutput::Write(const char* data, int32_t length) {
  length = Measure(data, length);
  if (length == 0) return 0;
  buffer_.Concat(data, static_cast<size_t>(length));
  NoteLast(data, length);
  return length;
}

const char* CaptureOutput::Contents(int32_t* length) {
  uint32_t n = 0;
  const char* p = buffer_.Data(&n);
  if (length) *length = static_cast<int32_t>(n);
  return p;
}

}  // namespace orin
