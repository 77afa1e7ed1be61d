#include "network/http_response_stream.h"

#include "network/network_connection.h"
#include "util/ascii.h"

namespace orin {

namespace {

constexpr int32_t kLineBlock = 512;
// A chunk larger than this is not a chunk size but garbage.
constexpr int64_t kMaxChunkSize = int64_t{1} << 40;

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

HTTPResponseStream::HTTPResponseStream(NetworkConnection* connection, int timeout)
    : connection_(connection), timeout_(timeout) {
  connection_->set_line_limit(kMaxLine);
}

bool HTTPResponseStream::Fail(std::string_view text) {
  error_.assign(text);
  return false;
}

bool HTTPResponseStream::ReadHead() {
  std::string line;
  if (connection_->ReadLine(&line, timeout_, kLineBlock) < 0) return Fail(connection_->ErrorText());
  // The status code is the number after the first space.
  size_t space = line.find(' ');
  status_ = 0;
  if (space != std::string::npos) {
    for (size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
      if (status_ > 99999) break;
      status_ = status_ * 10 + (line[i] - '0');
    }
  }
  for (;;) {
    if (connection_->ReadLine(&line, timeout_, kLineBlock) < 0)
      return Fail(connection_->ErrorText());
    std::string_view text = WithoutLineEnd(line);
    if (text.empty()) break;
    if (headers_.size() == kMaxHeaders) return Fail("Too many header lines");
    HTTPResponseStream_Header h;
    h.line.assign(text);
    size_t colon = text.find(':');
    h.name.assign(TrimSpaceTabCrLf(text.substr(0, colon)));
    if (colon != std::string_view::npos) h.value.assign(TrimSpaceTabCrLf(text.substr(colon + 1)));
    if (EqualsNoCase(h.name, "Transfer-Encoding") && EqualsNoCase(h.value, "chunked")) {
      chunked_ = true;
    } else if (EqualsNoCase(h.name, "Content-Length")) {
      int64_t n = 0;
      bool ok = !h.value.empty();
      for (char c : h.value) {
        if (c < '0' || c > '9' || n > (int64_t{1} << 50)) {
          ok = false;
          break;
        }
        n = n * 10 + (c - '0');
      }
      if (ok) content_length_ = n;
    }
    headers_.push_back(std::move(h));
  }
  if (chunked_) {
    content_length_ = -1;
    return ReadChunkSize();
  }
  return true;
}

std::string_view HTTPResponseStream::Header(std::string_view name) const {
  for (const auto& h : headers_) {
    if (EqualsNoCase(h.name, name)) return h.value;
  }
  return {};
}

bool HTTPResponseStream::ReadChunkSize() {
  std::string line;
  if (connection_->ReadLine(&line, timeout_, kLineBlock) < 0) return Fail(connection_->ErrorText());
  std::string_view text = TrimSpaceTabCrLf(line);
  int64_t size = 0;
  size_t digits = 0;
  bool negative = !text.empty() && text[0] == '-';
  for (size_t i = negative ? 1 : 0; i < text.size(); ++i, ++digits) {
    int v = HexValue(text[i]);
    if (v < 0) break;  // extensions after ';' are ignored
    size = size * 16 + v;
    if (size > kMaxChunkSize) return Fail("Invalid chunk size");
  }
  if (negative || digits == 0) return Fail("Invalid chunk size");
  chunk_size_ = size;
  chunk_read_ = 0;
  if (size == 0) {
    // The last chunk: its own line end follows; trailers are not read.
    if (!ReadChunkTerminator()) return false;
    ended_ = true;
  }
  return true;
}

bool HTTPResponseStream::ReadChunkTerminator() {
  char c;
  int32_t n = connection_->Read(&c, 1, timeout_);
  if (n < 0) return Fail(connection_->ErrorText());
  if (n == 0 || c != '\r') return Fail("Invalid chunk terminator");
  n = connection_->Read(&c, 1, timeout_);
  if (n < 0) return Fail(connection_->ErrorText());
  if (n == 0 || c != '\n') return Fail("Invalid chunk terminator");
  return true;
}

int32_t HTTPResponseStream::Read(char* buffer, int32_t size) {
  if (ended_ || size <= 0) return 0;
  int64_t want = size;
  if (chunked_) {
    if (chunk_read_ == chunk_size_) {
      if (!ReadChunkTerminator() || !ReadChunkSize()) return -1;
      if (ended_) return 0;
    }
    want = std::min(want, chunk_size_ - chunk_read_);
  } else if (content_length_ >= 0) {
    want = std::min(want, content_length_ - body_read_);
    if (want == 0) {
      ended_ = true;
      return 0;
    }
  }
  int32_t n = connection_->Read(buffer, static_cast<int32_t>(want), timeout_);
  if (n < 0) {
    error_ = connection_->ErrorText();
    return -1;
  }
  if (n == 0) {
    // The peer closed: the end of a body without length, else a short one.
    if (chunked_ || content_length_ >= 0) {
      error_ = "Read Error: Connection closed by remote host";
      return -1;
    }
    ended_ = true;
    return 0;
  }
  if (chunked_) chunk_read_ += n;
  body_read_ += n;
  return n;
}

bool HTTPResponseStream::ReadAll(std::string* out) {
  char block[8192];
  for (;;) {
    int32_t n = Read(block, sizeof block);
    if (n < 0) return false;
    if (n == 0) return true;
    out->append(block, static_cast<size_t>(n));
  }
}

}  // namespace orin
