// CaptureOutput: collects what a ZtCAPTURE block prints. Headers and
// immediate writes (error texts) still go to the sink that was current when
// capturing began, so they reach the real response.
#ifndef ORIN_OUTPUT_CAPTURE_OUTPUT_H_
#define ORIN_OUTPUT_CAPTURE_OUTPUT_H_

#include <cstdint>

#include "output/output.h"
#include "variables/link_buffer.h"

namespace orin {

class CaptureOutput : public Output {
 public:
  // The parent is not owned and must outlive this sink.
  explicit CaptureOutput(Output* parent) : parent_(parent), buffer_(8192, 8192) {}

  using Output::SetHeader;
  using Output::Write;
  int32_t WriteImmediate(const char* data, int32_t length) override;
  int32_t SetHeader(const char* name, int32_t name_length, bool owns_name, const char* value,
                    int32_t value_length, bool owns_value) override;
  int32_t SetHeader(const char* name, const char* value) override;
  int32_t Write(const char* data, int32_t length) override;
  int32_t Finish(bool) override { return 0; }
  int32_t Flush() override { return 0; }
  int32_t OutputKind() override { return kOutputCapture; }
  // The captured bytes, NUL-terminated; valid until the next write.
  virtual const char* Contents(int32_t* length);

  Output* parent() const { return parent_; }

 private:
  Output* parent_;
  LinkBuffer buffer_;
};

}  // namespace orin

#endif  // ORIN_OUTPUT_CAPTURE_OUTPUT_H_
