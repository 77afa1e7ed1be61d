// Fuzzes request reading: arbitrary bytes, cut into pieces the way TCP might
// deliver them, go through ClientRequest parsing, the content-type rules on
// the path, and body reading.
//
// Input layout: byte 0 is the piece size (0 means 8192), bit 0 of byte 1
// says whether the input ends in a failure (-1) or a close (0); the rest is
// what the client sent.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "server/client_request.h"
#include "server/content_type.h"

namespace {

class PieceSource : public orin::ByteSource {
 public:
  PieceSource(const uint8_t* data, size_t size, size_t piece, int32_t end)
      : data_(data), size_(size), piece_(piece), end_(end) {}

  int32_t Receive(char* buffer, int32_t capacity) override {
    if (given_ >= size_) return end_;
    size_t n = size_ - given_;
    if (n > piece_) n = piece_;
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    std::memcpy(buffer, data_ + given_, n);
    given_ += n;
    return static_cast<int32_t>(n);
  }
  size_t given() const { return given_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t piece_;
  int32_t end_;
  size_t given_ = 0;
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t piece = data[0] ? data[0] : orin::RequestReader::kBufferSize;
  PieceSource source(data + 2, size - 2, piece, (data[1] & 1) ? -1 : 0);
  // A small line budget so that inputs can reach it.
  orin::ClientRequest request(&source, 4096);
  if (request.Parse() != orin::ClientRequest::ParseResult::kParsed) return 0;

  // The URI is the path, then "?" and the query string when there is one.
  std::string_view uri = request.uri().view();
  std::string_view path = request.path().view();
  Check(uri.substr(0, path.size()) == path);
  if (const orin::ByteString* query = request.query_string()) {
    Check(uri.size() == path.size() + 1 + query->size() && uri[path.size()] == '?');
  } else {
    Check(uri.size() == path.size());
  }
  Check(request.request_line().size() <= size - 2);
  request.headers().ForEach([&](std::string_view name, const orin::ByteString& value) {
    Check(name.find(':') == std::string_view::npos);
    Check(request.Header(name) == &value);
  });

  std::string_view type = orin::ContentTypeOf(path);
  Check(!type.empty());

  char body[1000];
  size_t total = 0;
  for (;;) {
    int32_t n = request.ReadBody(body, sizeof body);
    if (n <= 0) break;
    Check(static_cast<size_t>(n) <= sizeof body);
    total += static_cast<size_t>(n);
  }
  Check(total <= size - 2);
  Check(source.given() == size - 2);
  return 0;
}
