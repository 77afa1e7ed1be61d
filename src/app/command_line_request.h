// CommandLineRequest: the request `orin run` makes up from its options, and
// the sink that writes the response to standard output (whole, or the body
// alone).
#ifndef ORIN_APP_COMMAND_LINE_REQUEST_H_
#define ORIN_APP_COMMAND_LINE_REQUEST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/request.h"
#include "util/byte_sink.h"
#include "util/stream.h"

namespace orin {

// Passes everything after the first blank line of the response head to
// another sink; the status line and headers are dropped.
class BodyOnlySink : public ByteSink {
 public:
  explicit BodyOnlySink(ByteSink* next) : next_(next) {}
  int32_t SendSome(const char* data, int32_t length) override;
  int WaitWritable(int32_t milliseconds) override { return next_->WaitWritable(milliseconds); }
  const std::string& ErrorText() const override { return next_->ErrorText(); }

 private:
  ByteSink* next_;
  int matched_ = 0;  // bytes of "\r\n\r\n" seen so far
  bool in_body_ = false;
};

class CommandLineRequest : public Request, public BodySource {
 public:
  // `headers` are "Name: value" lines. `body` (may be null) is read to its
  // end; a Content-Length header is added for it when none was given.
  CommandLineRequest(std::string method, std::string path, const std::string* query,
                     const std::vector<std::string>& headers, std::unique_ptr<Stream> body,
                     int64_t body_length, ByteSink* sink, std::string server_name, int32_t port);

  std::string_view Method() const override { return method_; }
  std::string_view Path() const override { return path_; }
  const std::string* QueryString() const override { return has_query_ ? &query_ : nullptr; }
  std::string_view Protocol() const override { return "HTTP/1.0"; }
  std::string_view RemoteAddress() const override { return "127.0.0.1"; }
  const HashTable<ByteString>& Headers() const override { return headers_; }
  BodySource* Body() override { return this; }
  // The body file's bytes; a file never makes the reader wait.
  int32_t ReadSome(char* buffer, int32_t count, int64_t deadline_ms) override;
  ByteSink* ResponseSink() override { return sink_; }
  std::string_view ServerName() const override { return server_name_; }
  int32_t ServerPort() const override { return port_; }

 private:
  std::string method_;
  std::string path_;
  std::string query_;
  bool has_query_;
  HashTable<ByteString> headers_;
  std::unique_ptr<Stream> body_;
  ByteSink* sink_;
  std::string server_name_;
  int32_t port_;
};

}  // namespace orin

#endif  // ORIN_APP_COMMAND_LINE_REQUEST_H_
