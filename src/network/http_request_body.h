// What follows the head of an HTTP request: a length known in advance and
// the bytes, written to the connection (files are streamed in blocks).
#ifndef ORIN_NETWORK_HTTP_REQUEST_BODY_H_
#define ORIN_NETWORK_HTTP_REQUEST_BODY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/file.h"

namespace orin {

class NetworkConnection;

class HttpRequestBody {
 public:
  // Adds literal bytes, or the whole of an open file (the body takes it).
  void AddText(std::string_view text);
  void AddFile(std::unique_ptr<File> file);

  int64_t Length() const { return length_; }
  // Writes everything; false with *error set.
  bool WriteTo(NetworkConnection* connection, int timeout, int32_t block_size, std::string* error);

 private:
  struct Part {
    std::string text;
    std::unique_ptr<File> file;
    int64_t size = 0;
  };
  std::vector<Part> parts_;
  int64_t length_ = 0;
};

}  // namespace orin

#endif  // ORIN_NETWORK_HTTP_REQUEST_BODY_H_
