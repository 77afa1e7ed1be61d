// NullOutput: the sink of a run without a client (the base application,
// asynchronous tasks). Output is dropped or handed to a callback; whitespace
// modes and headers are ignored.
#ifndef ORIN_OUTPUT_NULL_OUTPUT_H_
#define ORIN_OUTPUT_NULL_OUTPUT_H_

#include <cstdint>
#include <functional>

#include "output/output.h"

namespace orin {

class NullOutput : public Output {
 public:
  using Callback = std::function<int32_t(const char* data, int32_t length)>;

  explicit NullOutput(Callback callback = nullptr) : callback_(std::move(callback)) {}

  using Output::Write;
  using Output::WriteText;
  int32_t Write(const char* data, int32_t length) override { return Sink(data, length); }
  int32_t WriteText(const char* data, int32_t length) override { return Write(data, length); }
  int32_t Finish(bool) override { return 0; }
  int32_t Flush() override { return 1; }
  int32_t OutputKind() override { return kOutputNull; }
  // The callback's result, or the length when there is no callback.
  virtual int32_t Sink(const char* data, int32_t length);

 private:
  Callback callback_;
};

}  // namespace orin

#endif  // ORIN_OUTPUT_NULL_OUTPUT_H_
