#include "network/http_response.h"

#include "network/http_request_body.h"

namespace orin {

std::unique_ptr<HttpResponse> HttpResponse::Request(
    NetworkManager* manager, std::string_view url, std::string_view method,
    std::string_view content_type, const std::string* body, std::string_view extra_headers,
    const TlsOptions& tls, int timeout, uint32_t flags) {
  auto response = std::make_unique<HttpResponse>();
  UrlParts parts;
  if (!manager->SplitUrl(url, &parts)) {
    response->error_ = manager->ErrorText();
    return response;
  }
  response->connection_ =
      manager->OpenUrl(parts.scheme, parts.host, parts.port, tls, timeout, flags);
  if (!response->connection_) {
    response->error_ = "Unable to open URL '" + std::string(url) + "': " + manager->ErrorText();
    return response;
  }
  HttpRequestBody request_body;
  if (body) request_body.AddText(*body);
  if (!manager->SendHttpRequest(response->connection_.get(), method.empty() ? "GET" : method, parts,
                                1.1, content_type, body ? &request_body : nullptr, extra_headers,
                                timeout)) {
    response->error_ = manager->ErrorText();
    response->Close();
    return response;
  }
  auto stream = std::make_unique<HTTPResponseStream>(response->connection_.get(), timeout);
  if (!stream->ReadHead()) {
    response->error_ = stream->ErrorText();
    response->Close();
    return response;
  }
  response->stream_ = std::move(stream);
  return response;
}

int32_t HttpResponse::Read(char* buffer, int32_t size) {
  if (!stream_) return -1;
  int32_t n = stream_->Read(buffer, size);
  if (n < 0) error_ = stream_->ErrorText();
  return n;
}

void HttpResponse::Close() {
  stream_.reset();
  connection_.reset();
}

}  // namespace orin
