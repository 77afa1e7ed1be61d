// A connection that reads from bytes in memory, handing out at most `step`
// bytes per read so that readers meet every split of their input.
#ifndef ORIN_TESTS_NETWORK_MEMORY_CONNECTION_H_
#define ORIN_TESTS_NETWORK_MEMORY_CONNECTION_H_

#include <algorithm>
#include <cstring>
#include <string>

#include "network/network_connection.h"

namespace orin {

class MemoryConnection : public NetworkConnection {
 public:
  MemoryConnection(std::string data, size_t step)
      : NetworkConnection(nullptr), data_(std::move(data)), step_(step ? step : 1) {}

  int32_t Read(char* buffer, int32_t size, int) override {
    size_t n = std::min({static_cast<size_t>(size), step_, data_.size() - at_});
    std::memcpy(buffer, data_.data() + at_, n);
    at_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t ReadLine(std::string* line, int, int32_t) override {
    line->clear();
    size_t lf = data_.find('\n', at_);
    if (lf == std::string::npos) {
      at_ = data_.size();
      SetError("Read Error: Connection closed by remote host");
      return -1;
    }
    size_t limit = static_cast<size_t>(line_limit());
    if (limit > 0 && lf + 1 - at_ > limit + 1) {
      at_ = data_.size();
      SetError("Read Error: Line too long");
      return -1;
    }
    line->assign(data_, at_, lf + 1 - at_);
    at_ = lf + 1;
    return static_cast<int32_t>(line->size());
  }
  int32_t Write(const char* data, int32_t length, int) override {
    written_.append(data, static_cast<size_t>(length));
    return length;
  }
  using NetworkConnection::Write;
  const std::string& written() const { return written_; }

 private:
  std::string data_;
  size_t step_;
  size_t at_ = 0;
  std::string written_;
};

}  // namespace orin

#endif  // ORIN_TESTS_NETWORK_MEMORY_CONNECTION_H_
