#include "network/smtp_output.h"

#include <cstring>

namespace orin {

SMTPOutput::SMTPOutput(Output* owner, NetworkConnection* connection, int32_t buffer_size,
                       int32_t timeout)
    : NetworkOutput(owner, connection, buffer_size, timeout) {}

int32_t SMTPOutput::Write(const char* data, int32_t length) {
  if (length < 0) length = data ? static_cast<int32_t>(std::strlen(data)) : 0;
  if (length == 0) return 0;
  pending_.clear();
  for (int32_t i = 0; i < length; ++i) {
    char c = data[i];
    if (c == '\r' || c == '\n') {
      if ((state_ == State::kAfterCr && c == '\n') || (state_ == State::kAfterLf && c == '\r')) {
        state_ = State::kLineStart;  // second half of a two-byte line end
        continue;
      }
      if (state_ == State::kStart) continue;
      pending_.append("\r\n");
      state_ = c == '\r' ? State::kAfterCr : State::kAfterLf;
      continue;
    }
    if (state_ != State::kInLine && c == '.') pending_.push_back('.');
    pending_.push_back(c);
    state_ = State::kInLine;
  }
  if (!pending_.empty())
    BufferedOutput::Write(pending_.data(), static_cast<int32_t>(pending_.size()));
  return length;
}

int32_t SMTPOutput::Send(const char* data, int32_t length) {
  if (failed_) return -1;
  int32_t sent = NetworkOutput::Send(data, length);
  if (sent < 0) {
    failed_ = true;
    error_ = NetworkOutput::LastError();
  }
  return sent;
}

bool SMTPOutput::FinishText() {
  const char* end = state_ == State::kInLine ? "\r\n.\r\n" : ".\r\n";
  BufferedOutput::Write(end, static_cast<int32_t>(std::strlen(end)));
  state_ = State::kLineStart;
  Flush();
  return !failed_;
}

}  // namespace orin
