#include "output/output.h"

#include <cstdlib>
#include <cstring>

#include "util/byte_string.h"

namespace orin {

namespace {

// Gathers the kept bytes of a compressed write so that they reach Write in
// a few large pieces rather than one call per word.
class Gather {
 public:
  explicit Gather(Output* out) : out_(out) {}
  ~Gather() { Drain(); }
  void Add(const char* p, size_t n) {
    if (n > sizeof buf_ - used_) Drain();
    if (n >= sizeof buf_) {
      out_->Write(p, static_cast<int32_t>(n));
      return;
    }
    std::memcpy(buf_ + used_, p, n);
    used_ += n;
  }
  void Drain() {
    if (used_ > 0) out_->Write(buf_, static_cast<int32_t>(used_));
    used_ = 0;
  }

 private:
  Output* out_;
  size_t used_ = 0;
  char buf_[4096];
};

}  // namespace

Output::~Output() = default;

int32_t Output::Measure(const char* data, int32_t length) {
  return static_cast<int32_t>(MeasuredText(data, length).size());
}

void Output::FreeOwned(const char* text, bool owns) {
  if (owns) std::free(const_cast<char*>(text));
}

int32_t Output::WriteImmediate(const char* data, int32_t length) {
  int32_t n = Write(data, length);
  Flush();
  return n;
}

int32_t Output::SetHeader(const char* name, int32_t, bool owns_name, const char* value, int32_t,
                          bool owns_value) {
  FreeOwned(name, owns_name);
  FreeOwned(value, owns_value);
  return 0;
}

int32_t Output::SetHeader(const char* name, const char* value) {
  return SetHeader(name, -1, false, value, -1, false);
}

int32_t Output::WriteText(const char* data, int32_t length) {
  if (mode_ & kOutputCollapse) return WriteCollapsed(data, length);
  if (mode_ & kOutputCompress) return WriteCompressed(data, length);
  return Write(data, length);
}

int32_t Output::Finish(bool) {
  return 0;
}

uint32_t Output::GetMode() {
  return mode_;
}

void Output::SetMode(uint32_t mode) {
  mode_ = mode;
}

int32_t Output::WriteCollapsed(const char* data, int32_t length) {
  length = Measure(data, length);
  if (length == 0) return 0;
  int32_t skip = (last_was_space_ && IsSpace(data[0])) ? 1 : 0;
  if (length > skip) Write(data + skip, length - skip);
  return length;
}

int32_t Output::WriteCompressed(const char* data, int32_t length) {
  length = Measure(data, length);
  auto n = static_cast<size_t>(length);
  size_t i = 0;
  if (last_was_space_) {
    while (i < n && IsSpace(data[i]))
      ++i;
  }
  Gather out(this);
  size_t word = i;
  while (i < n) {
    if (!IsSpace(data[i])) {
      ++i;
      continue;
    }
    out.Add(data + word, i - word + 1);  // the word and the run's first byte
    ++i;
    while (i < n && IsSpace(data[i]))
      ++i;
    word = i;
  }
  if (word < n) out.Add(data + word, n - word);
  return length;
}

}  // namespace orin
