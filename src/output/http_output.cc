#include "output/http_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace orin {

namespace {

int32_t ClampChunkSize(int32_t size) {
  if (size < 1) return HTTPOutput::kDefaultChunkSize;
  return std::min(size, HTTPOutput::kMaxChunkSize);
}

// A header string: adopted when owned, copied otherwise.
ByteString TakeString(const char* text, int32_t length, bool owns) {
  if (text == nullptr) return ByteString();
  auto n = static_cast<uint32_t>(length);
  if (owns) return ByteString::Adopt(const_cast<char*>(text), n, n);
  return ByteString(text, n);
}

}  // namespace

HTTPOutput::HTTPOutput(int32_t chunk_size, int32_t flush_threshold)
    : chunk_size_(ClampChunkSize(chunk_size)),
      flush_threshold_(flush_threshold),
      headers_(12, true, HashTable<HTTPOutput_Header>::kGrowth) {
  AddChunk(chunk_size_);
}

HTTPOutput::~HTTPOutput() = default;

void HTTPOutput::set_chunk_size(int32_t size) {
  chunk_size_ = ClampChunkSize(size);
}

void HTTPOutput::SetConfig(Config* config) {
  config_ = config;
  retry_delay_ = -1;
}

void HTTPOutput::AddChunk(int32_t size) {
  auto cap = static_cast<uint32_t>(size);
  chunks_.push_back(OutputChunk{std::make_unique_for_overwrite<char[]>(cap), cap, 0});
}

int32_t HTTPOutput::SetHeader(const char* name, int32_t name_length, bool owns_name,
                              const char* value, int32_t value_length, bool owns_value) {
  if (headers_sent_ || name == nullptr) {
    return Output::SetHeader(name, name_length, owns_name, value, value_length, owns_value);
  }
  name_length = Measure(name, name_length);
  value_length = Measure(value, value_length);
  HTTPOutput_Header h{TakeString(name, name_length, owns_name),
                      TakeString(value, value_length, owns_value)};
  std::string_view key = h.name.view();
  headers_.Remove(key);  // a header set again moves to the end
  ByteString k(key);
  headers_.Set(k.view(), std::move(h));
  return 1;
}

int32_t HTTPOutput::Write(const char* data, int32_t length) {
  length = Measure(data, length);
  if (length == 0) return 0;
  content_length_ += length;
  since_flush_ += length;
  auto rest = static_cast<uint32_t>(length);
  const char* p = data;
  for (;;) {
    OutputChunk& c = chunks_[current_];
    uint32_t take = std::min(rest, c.capacity - c.used);
    std::memcpy(c.data.get() + c.used, p, take);
    c.used += take;
    p += take;
    rest -= take;
    if (rest == 0) break;
    if (current_ + 1 == chunks_.size()) AddChunk(chunk_size_);
    ++current_;
  }
  NoteLast(data, length);
  if (since_flush_ >= flush_threshold_) Finish(false);
  return length;
}

void HTTPOutput::AddContentLength() {
  if (HasHeader("Content-Length")) return;
  char text[24];
  int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(content_length_));
  SetHeader("Content-Length", 14, false, text, n, false);
}

int32_t HTTPOutput::RetryDelay() {
  if (retry_delay_ < 0) {
    retry_delay_ = config_ ? config_->GetInt(config_key::kDelayFile) : 100;
    if (retry_delay_ < 0) retry_delay_ = 0;
  }
  return retry_delay_;
}

bool HTTPOutput::SendChunk(const OutputChunk& c, int64_t* total) {
  auto size = static_cast<int32_t>(c.used);
  int32_t sent = SendRaw(c.data.get(), size);
  if (sent < 0) return false;
  *total += sent;
  // A short count means the client is congested: pause, then go on from
  // the first unsent byte until the chunk is out or a send gets nowhere.
  while (sent < size) {
    std::this_thread::sleep_for(std::chrono::microseconds(RetryDelay()));
    int32_t r = SendRaw(c.data.get() + sent, size - sent);
    if (r < 0) return false;
    if (r == 0) break;
    sent += r;
    *total += r;
  }
  return true;
}

int32_t HTTPOutput::Finish(bool final) {
  bool sending = true;
  if (!headers_sent_) {
    if (final) AddContentLength();
    headers_sent_ = true;  // before SendHeaders, so late SetHeader calls are refused
    sending = SendHeaders() >= 0;
  }
  int64_t total = 0;
  for (size_t i = 0; sending && i <= current_; ++i) {
    if (chunks_[i].used > 0 && !SendChunk(chunks_[i], &total)) break;
  }
  chunks_.resize(1);
  chunks_[0].used = 0;
  current_ = 0;
  since_flush_ = 0;
  return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

int32_t HTTPOutput::Flush() {
  return Finish(false);
}

}  // namespace orin
