#include "output/orin_output.h"

#include <string>

#include "util/ascii.h"

namespace orin {

OrinOutput::OrinOutput(std::function<void()> abort, ByteSink* sink)
    : HTTPOutput(kDefaultChunkSize, kDefaultFlushThreshold),
      abort_(std::move(abort)),
      sink_(sink) {}

OrinOutput::~OrinOutput() = default;

int32_t OrinOutput::SetHeader(const char* name, int32_t name_length, bool owns_name,
                              const char* value, int32_t value_length, bool owns_value) {
  name_length = Measure(name, name_length);
  value_length = Measure(value, value_length);
  std::string_view n(name ? name : "", static_cast<size_t>(name_length));
  if (EqualsNoCase(n, "Connection")) {
    return Output::SetHeader(name, name_length, owns_name, value, value_length, owns_value);
  }
  if (!headers_sent() && EqualsNoCase(n, "Status")) {
    status_.Assign(value ? value : "", static_cast<size_t>(value_length));
    has_status_ = true;
    FreeOwned(name, owns_name);
    FreeOwned(value, owns_value);
    return 1;
  }
  return HTTPOutput::SetHeader(name, name_length, owns_name, value, value_length, owns_value);
}

int32_t OrinOutput::SendHeaders() {
  std::string block;
  block.reserve(static_cast<size_t>(chunk_size()));
  block.append("HTTP/1.1 ");
  block.append(has_status_ ? status_.view() : std::string_view("200 OK"));
  block.append("\r\nConnection: close\r\n");
  ForEachHeader([&block](const HTTPOutput_Header& h) {
    block.append(h.name.view());
    block.append(": ");
    block.append(h.value.view());
    block.append("\r\n");
  });
  block.append("\r\n");
  head_ = std::move(block);
  return static_cast<int32_t>(head_.size());
}

int32_t OrinOutput::Finish(bool final) {
  int32_t sent = HTTPOutput::Finish(final);
  if (!head_.empty()) SendRaw(nullptr, 0);  // no body followed
  return sent;
}

int32_t OrinOutput::SendRaw(const char* data, int32_t length) {
  if (head_.empty()) return SendAll(data, length);
  auto head = static_cast<int32_t>(head_.size());
  bool joined = length > 0 && length <= kJoinLimit;
  if (joined) head_.append(data, static_cast<size_t>(length));
  int32_t sent = SendAll(head_.data(), static_cast<int32_t>(head_.size()));
  if (sent < 0) {
    head_.clear();
    return -1;
  }
  if (sent < head) {
    // Stalled inside the header block: keep its rest for the next send;
    // none of the body went out.
    head_.erase(0, static_cast<size_t>(sent));
    head_.resize(static_cast<size_t>(head - sent));
    return 0;
  }
  head_.clear();
  return joined ? sent - head : SendAll(data, length);
}

int32_t OrinOutput::SendAll(const char* data, int32_t length) {
  if (length < 1) return 0;
  int32_t sent = 0;
  while (sent < length) {
    int32_t r = sink_->SendSome(data + sent, length - sent);
    if (r > 0) {
      sent += r;
      continue;
    }
    if (r < 0) {
      if (abort_) abort_();
      return -1;
    }
    // Would block: wait for room, then try once more; a retry that fails
    // counts nothing and the next round finds out why.
    if (sink_->WaitWritable(send_wait_ms_) <= 0) return sent;
    r = sink_->SendSome(data + sent, length - sent);
    if (r > 0) sent += r;
  }
  return sent;
}

}  // namespace orin
