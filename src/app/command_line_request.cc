#include "app/command_line_request.h"

#include <string_view>

namespace orin {

int32_t BodyOnlySink::SendSome(const char* data, int32_t length) {
  if (in_body_) return next_->SendSome(data, length);
  static const char kEnd[] = "\r\n\r\n";
  for (int32_t i = 0; i < length; ++i) {
    matched_ = data[i] == kEnd[matched_] ? matched_ + 1 : (data[i] == '\r' ? 1 : 0);
    if (matched_ == 4) {
      in_body_ = true;
      int32_t rest = length - i - 1;
      if (rest == 0) return length;
      // Report only what the next sink took beyond the head.
      int32_t sent = next_->SendSome(data + i + 1, rest);
      return sent < 0 ? sent : i + 1 + sent;
    }
  }
  return length;
}

CommandLineRequest::CommandLineRequest(std::string method, std::string path,
                                       const std::string* query,
                                       const std::vector<std::string>& headers,
                                       std::unique_ptr<Stream> body, int64_t body_length,
                                       ByteSink* sink, std::string server_name, int32_t port)
    : method_(std::move(method)),
      path_(std::move(path)),
      has_query_(query != nullptr),
      body_(std::move(body)),
      sink_(sink),
      server_name_(std::move(server_name)),
      port_(port) {
  if (query) query_ = *query;
  // Repeated headers are joined with a comma, as the server joins them.
  for (const std::string& line : headers) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string_view name(line.data(), colon);
    std::string_view value(line.data() + colon + 1, line.size() - colon - 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
      value.remove_prefix(1);
    }
    if (ByteString* old = headers_.Find(name)) {
      old->Append(',');
      old->Append(value);
    } else {
      headers_.Set(name, ByteString(value));
    }
  }
  if (body_ && headers_.Find("Content-Length") == nullptr) {
    headers_.Set("Content-Length", ByteString(std::to_string(body_length)));
  }
}

int32_t CommandLineRequest::ReadSome(char* buffer, int32_t count, int64_t) {
  if (!body_) return 0;
  return body_->Read(buffer, count);
}

}  // namespace orin
