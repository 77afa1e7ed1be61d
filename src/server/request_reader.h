// RequestReader: line and body reading over a byte source, as a connection
// thread reads a request.
//
// Bytes arrive through a ByteSource into an 8192-byte receive buffer; lines
// are cut at LF with one CR before it removed, and may grow past the buffer.
// The reader does not care how bytes arrive (a socket, a test's pieces, a
// fuzzer's input), so the parsing above it can be tested without a network.
//
// Hostile input: a line may be as long as the client likes, which would let
// one client exhaust memory. All lines read through one reader share a
// budget (1 MiB by default); a line that would exceed it is refused.
#ifndef ORIN_SERVER_REQUEST_READER_H_
#define ORIN_SERVER_REQUEST_READER_H_

#include <cstddef>
#include <cstdint>

#include "util/byte_string.h"

namespace orin {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `capacity` bytes, waiting a bounded time for the first. Returns
  // the count, 0 when the peer closed, -1 on failure or when the wait ran
  // out.
  virtual int32_t Receive(char* buffer, int32_t capacity) = 0;
  // As Receive, but giving up at `deadline_ms` on the monotonic clock (0:
  // none) if that comes before the source's own wait ends.
  virtual int32_t ReceiveBefore(char* buffer, int32_t capacity, int64_t deadline_ms) {
    (void)deadline_ms;
    return Receive(buffer, capacity);
  }
};

class RequestReader {
 public:
  static constexpr int32_t kBufferSize = 8192;
  static constexpr size_t kDefaultLineBudget = size_t{1} << 20;

  explicit RequestReader(ByteSource* source, size_t line_budget = kDefaultLineBudget)
      : source_(source), line_budget_(line_budget) {}
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  // Refills the receive buffer from the source; returns what the source
  // returned (bytes, 0 closed, -1 failed).
  int32_t Fill();

  enum class LineStatus {
    kLine,     // *line holds a line, ended by LF or by the end of the input
    kEnd,      // the input ended (closed or failed) before any byte of it
    kTooLong,  // the line would exceed the budget; the reader is spent
  };
  LineStatus ReadLine(ByteString* line);

  // Reads up to `count` bytes of what follows the lines: first those left in
  // the receive buffer, then from the source until `count` bytes arrived or
  // the input ended. Returns the count (short only at the end of the input),
  // 0 at the end, -1 when the source failed before any byte of this call.
  int32_t Read(char* buffer, int32_t count);

  // Reads what is there or arrives in one wait, up to `count` bytes: those
  // left in the receive buffer, else one receive that gives up at
  // `deadline_ms` (monotonic, 0: none). Returns the count, 0 at the end, -1
  // on failure or when the wait ran out.
  int32_t ReadSome(char* buffer, int32_t count, int64_t deadline_ms);

  // Bytes received but not yet consumed.
  int32_t buffered() const { return filled_ - position_; }
  size_t line_bytes() const { return line_bytes_; }

 private:
  ByteSource* source_;
  size_t line_budget_;
  size_t line_bytes_ = 0;  // bytes consumed by ReadLine, LFs included
  int32_t filled_ = 0;     // valid bytes in buffer_
  int32_t position_ = 0;   // next unread byte
  char buffer_[kBufferSize];
};

}  // namespace orin

#endif  // ORIN_SERVER_REQUEST_READER_H_
