// The byte-stream interfaces through which compiled files and other
// containers are read and written. The sandboxed file manager implements
// them for scripts; platform/plain_file.h implements them for tools and
// tests that work on ordinary paths.
#ifndef ORIN_UTIL_STREAM_H_
#define ORIN_UTIL_STREAM_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orin {

class Stream {
 public:
  virtual ~Stream() = default;
  // Moves to an absolute offset; returns the new position, or -1.
  virtual int64_t Seek(int64_t offset) = 0;
  // Returns the number of bytes transferred (0 at the end), or -1.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // The text of the last failure.
  virtual const std::string& ErrorText() const = 0;
};

// Open-mode bits, shared with the file manager.
enum OpenMode : uint32_t {
  kOpenRead = 1,
  kOpenWrite = 2,
  kOpenCreate = 4,
  kOpenTruncate = 8,
  kOpenAppend = 16,
  kOpenCreateNew = 32,
  kOpenUnmanaged = 64,
  kOpenMustExist = 128,
};

// Something that opens named streams and takes them back when done.
class StreamOpener {
 public:
  virtual ~StreamOpener() = default;
  // Returns a new stream, or null with ErrorText set.
  virtual Stream* OpenStream(std::string_view name, uint32_t mode) = 0;
  // Closes and destroys a stream this opener returned.
  virtual void CloseStream(Stream* stream) = 0;
  virtual const std::string& ErrorText() const = 0;
};

}  // namespace orin

#endif  // ORIN_UTIL_STREAM_H_
