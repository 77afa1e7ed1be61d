// HttpResponse: one HTTP request made in a single call and the response it
// got, read on demand; what plug-ins get from the exported request function.
#ifndef ORIN_NETWORK_HTTP_RESPONSE_H_
#define ORIN_NETWORK_HTTP_RESPONSE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "network/http_response_stream.h"
#include "network/network_connection.h"
#include "network/network_manager.h"

namespace orin {

class HttpResponse {
 public:
  // Opens `url`, sends the request (a body when `body` is not null) and
  // reads the response head. Always returns a response: on failure its
  // status is -1 and ErrorText() says why.
  static std::unique_ptr<HttpResponse> Request(NetworkManager* manager, std::string_view url,
                                               std::string_view method,
                                               std::string_view content_type,
                                               const std::string* body,
                                               std::string_view extra_headers,
                                               const TlsOptions& tls, int timeout, uint32_t flags);

  int32_t StatusCode() const { return stream_ ? stream_->status() : -1; }
  int64_t ContentLength() const { return stream_ ? stream_->content_length() : -1; }
  // Body bytes: the count, 0 at the end, -1 on failure.
  int32_t Read(char* buffer, int32_t size);
  const HTTPResponseStream* stream() const { return stream_.get(); }
  const std::string& ErrorText() const { return error_; }
  void Close();

 private:
  std::unique_ptr<NetworkConnection> connection_;
  std::unique_ptr<HTTPResponseStream> stream_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_HTTP_RESPONSE_H_
