// MemoryStream: a Stream over bytes held in memory, for assembling and
// loading compiled files in-process (tools, tests, fuzzers). It behaves like
// an ordinary file: a seek past the end succeeds, a read there returns 0 and
// a write there fills the gap with zero bytes.
#ifndef ORIN_UTIL_MEMORY_STREAM_H_
#define ORIN_UTIL_MEMORY_STREAM_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "util/stream.h"

namespace orin {

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

  int64_t Seek(int64_t offset) override {
    if (offset < 0) {
      error_ = "Invalid argument";
      return -1;
    }
    position_ = offset;
    return position_;
  }

  int32_t Read(void* buffer, int32_t count) override {
    if (count < 0) {
      error_ = "Invalid size";
      return -1;
    }
    if (position_ >= static_cast<int64_t>(bytes_.size())) return 0;
    int64_t left = static_cast<int64_t>(bytes_.size()) - position_;
    int32_t n = left < count ? static_cast<int32_t>(left) : count;
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }

  int32_t Write(const void* buffer, int32_t count) override {
    if (count < 0) {
      error_ = "Invalid size";
      return -1;
    }
    size_t end = static_cast<size_t>(position_) + static_cast<size_t>(count);
    if (end > bytes_.size()) bytes_.resize(end);
    if (count > 0) std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
  }

  const std::string& ErrorText() const override { return error_; }

  const std::string& bytes() const { return bytes_; }
  std::string TakeBytes() { return std::exchange(bytes_, std::string()); }

 private:
  std::string bytes_;
  int64_t position_ = 0;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_UTIL_MEMORY_STREAM_H_
