// HTTPOutput: the response to one HTTP client.
//
// Two states. Headers pending: headers and the status may be set, body bytes
// collect in a chain of fixed chunks. Headers sent: set operations are
// refused with 0 and body bytes go out on every flush. The first Finish
// moves from one state to the other; it happens when flushThreshold body
// bytes have collected since the last flush, on Flush, or at the end of the
// request with Finish(true). So a body that stays under the threshold goes
// out in one piece with an exact Content-Length; a larger one goes out in
// pieces without a length and the closed connection ends it.
//
// Headers keep the order in which they were (last) set: setting a header
// again removes it and adds it at the end.
#ifndef ORIN_OUTPUT_HTTP_OUTPUT_H_
#define ORIN_OUTPUT_HTTP_OUTPUT_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "output/output.h"
#include "util/byte_string.h"
#include "util/config.h"
#include "util/hash_table.h"

namespace orin {

struct HTTPOutput_Header {
  ByteString name;
  ByteString value;
};

class HTTPOutput : public Output {
 public:
  static constexpr int32_t kDefaultChunkSize = 8192;
  static constexpr int32_t kDefaultFlushThreshold = 1048576;
  // Chunk sizes are kept within 1 byte and 16 MiB.
  static constexpr int32_t kMaxChunkSize = 16 << 20;

  HTTPOutput(int32_t chunk_size, int32_t flush_threshold);
  ~HTTPOutput() override;

  using Output::SetHeader;
  using Output::Write;
  int32_t SetHeader(const char* name, int32_t name_length, bool owns_name, const char* value,
                    int32_t value_length, bool owns_value) override;
  int32_t Write(const char* data, int32_t length) override;
  // Sends the headers when they are still pending (with a Content-Length
  // when `final`), then every collected chunk. Returns the body bytes sent.
  int32_t Finish(bool final) override;
  // Sends what has collected so far, headers first.
  int32_t Flush() override;
  int32_t OutputKind() override { return kOutputHttp; }
  // Adds "Content-Length" with the body length unless the script set one.
  virtual void AddContentLength();
  virtual int32_t SendHeaders() = 0;
  // Bytes sent (possibly short when the client is congested), or -1.
  virtual int32_t SendRaw(const char* data, int32_t length) = 0;
  virtual void SetConfig(Config* config);

  // The application sets these from the configuration; the chunk that
  // exists keeps its size.
  void set_chunk_size(int32_t size);
  void set_flush_threshold(int32_t bytes) { flush_threshold_ = bytes; }
  int32_t chunk_size() const { return chunk_size_; }
  int32_t flush_threshold() const { return flush_threshold_; }
  bool headers_sent() const { return headers_sent_; }
  int64_t content_length() const { return content_length_; }

 protected:
  // Headers in emission order.
  template <typename F>
  void ForEachHeader(F&& f) const {
    headers_.ForEach([&f](std::string_view, const HTTPOutput_Header& h) { f(h); });
  }
  bool HasHeader(std::string_view name) const { return headers_.Find(name) != nullptr; }

 private:
  struct OutputChunk {
    std::unique_ptr<char[]> data;
    uint32_t capacity;
    uint32_t used;
  };

  void AddChunk(int32_t size);
  // Sends one chunk, retrying while the client is congested; false when a
  // send failed and the flush must stop.
  bool SendChunk(const OutputChunk& c, int64_t* total);
  int32_t RetryDelay();

  int32_t chunk_size_;
  int32_t flush_threshold_;
  bool headers_sent_ = false;
  HashTable<HTTPOutput_Header> headers_;
  std::vector<OutputChunk> chunks_;  // chunks_[current_] is being filled
  size_t current_ = 0;
  int64_t content_length_ = 0;
  int64_t since_flush_ = 0;
  Config* config_ = nullptr;
  int32_t retry_delay_ = -1;
};

}  // namespace orin

#endif  // ORIN_OUTPUT_HTTP_OUTPUT_H_
