#include "server/client_connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace orin {

int32_t ClientConnection::ReceiveBefore(char* buffer, int32_t capacity, int64_t deadline_ms) {
  if (capacity <= 0) return 0;
  if (received_used_ < received_.size()) {
    size_t n = std::min(received_.size() - received_used_, static_cast<size_t>(capacity));
    std::memcpy(buffer, received_.data() + received_used_, n);
    received_used_ += n;
    if (received_used_ == received_.size()) {
      std::string().swap(received_);
      received_used_ = 0;
    }
    return static_cast<int32_t>(n);
  }
  if (input_ended_) return -1;  // as a receive whose wait ran out
  int wait = wait_;
  if (deadline_ms != 0) {
    int64_t left = deadline_ms - MonotonicMillis();
    if (left <= 0) return -1;
    if (left < wait) wait = static_cast<int>(left);
  }
  return socket_.Receive(buffer, capacity, wait);
}

int32_t ClientConnection::SendSome(const char* data, int32_t length) {
  return socket_.SendNow(data, length);
}

int ClientConnection::WaitWritable(int32_t milliseconds) {
  return socket_.WaitWritable(milliseconds);
}

const std::string& ClientConnection::ErrorText() const {
  error_ = socket_.ErrorText();
  return error_;
}

}  // namespace orin
