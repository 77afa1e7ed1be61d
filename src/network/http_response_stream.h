// HTTPResponseStream: reads an HTTP response from a connection: the status
// line, the header lines, and the body as plain (until the peer closes),
// length-delimited or chunked bytes.
#ifndef ORIN_NETWORK_HTTP_RESPONSE_STREAM_H_
#define ORIN_NETWORK_HTTP_RESPONSE_STREAM_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class NetworkConnection;

struct HTTPResponseStream_Header {
  std::string line;   // the whole line without its line end
  std::string name;   // before the first ':', trimmed
  std::string value;  // after it, trimmed
};

class HTTPResponseStream {
 public:
  // Limits the connection's lines to kMaxLine bytes.
  HTTPResponseStream(NetworkConnection* connection, int timeout);

  // A status, header or chunk-size line longer than this is refused; more
  // header lines than kMaxHeaders too.
  static constexpr int32_t kMaxLine = 64 * 1024;
  static constexpr size_t kMaxHeaders = 1000;

  // Reads the status line and the headers (and, for a chunked body, the
  // first chunk size). False with ErrorText() set.
  bool ReadHead();
  // Up to `size` body bytes; 0 at the end of the body, -1 on failure.
  int32_t Read(char* buffer, int32_t size);
  // The whole rest of the body; false on failure.
  bool ReadAll(std::string* out);

  int32_t status() const { return status_; }
  int64_t content_length() const { return content_length_; }
  bool chunked() const { return chunked_; }
  int64_t body_read() const { return body_read_; }
  const std::vector<HTTPResponseStream_Header>& headers() const { return headers_; }
  // The value of the first header of that name (letter case ignored).
  std::string_view Header(std::string_view name) const;
  const std::string& ErrorText() const { return error_; }

 private:
  bool ReadChunkSize();
  bool ReadChunkTerminator();
  bool Fail(std::string_view text);

  NetworkConnection* connection_;
  int timeout_;
  int32_t status_ = -1;
  int64_t content_length_ = -1;
  bool chunked_ = false;
  int64_t chunk_size_ = 0;
  int64_t chunk_read_ = 0;
  int64_t body_read_ = 0;
  bool ended_ = false;
  std::vector<HTTPResponseStream_Header> headers_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_HTTP_RESPONSE_STREAM_H_
