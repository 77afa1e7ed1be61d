// Output: the sink that everything a script prints, every header it sets and
// every error page passes through.
//
// Lengths are signed 32-bit; -1 means the data is NUL-terminated and is
// measured first. Strings handed over as "owned" were malloc'ed and are
// freed here. The order of the virtual operations is fixed: libraries call
// through it.
//
// Whitespace modes (mode bits): 1 collapses the first whitespace byte of a
// write after whitespace, 2 reduces every run of whitespace to its first
// byte. Whitespace is what isspace accepts in the C locale. lastWasSpace
// starts set, so both modes drop whitespace at the very start of the output.
#ifndef ORIN_OUTPUT_OUTPUT_H_
#define ORIN_OUTPUT_OUTPUT_H_

#include <cstdint>
#include <string_view>

#include "util/ascii.h"

namespace orin {

enum OutputMode : uint32_t {
  kOutputCollapse = 1,
  kOutputCompress = 2,
};

enum OutputKindCode : int32_t {
  kOutputBuffered = 0,
  kOutputHttp = 1,
  kOutputNull = 2,
  kOutputCapture = 3,
};

class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  virtual ~Output();
  // Write, then Flush; the result of Write.
  virtual int32_t WriteImmediate(const char* data, int32_t length);
  // Sets a response header: 1, or 0 when the sink keeps no headers (this
  // default only frees what it owns).
  virtual int32_t SetHeader(const char* name, int32_t name_length, bool owns_name,
                            const char* value, int32_t value_length, bool owns_value);
  // The NUL-terminated form of the above; nothing owned.
  virtual int32_t SetHeader(const char* name, const char* value);
  // Bytes accepted.
  virtual int32_t Write(const char* data, int32_t length) = 0;
  // Write through the current whitespace mode.
  virtual int32_t WriteText(const char* data, int32_t length);
  // Bytes sent; `final` at the end of the request.
  virtual int32_t Finish(bool final);
  virtual int32_t Flush() = 0;
  virtual int32_t OutputKind() = 0;
  virtual uint32_t GetMode();
  virtual void SetMode(uint32_t mode);
  virtual int32_t WriteCollapsed(const char* data, int32_t length);
  virtual int32_t WriteCompressed(const char* data, int32_t length);

  // Conveniences for C++ callers.
  int32_t Write(std::string_view s) { return Write(s.data(), static_cast<int32_t>(s.size())); }
  int32_t WriteText(std::string_view s) {
    return WriteText(s.data(), static_cast<int32_t>(s.size()));
  }
  int32_t SetHeader(std::string_view name, std::string_view value) {
    return SetHeader(name.data(), static_cast<int32_t>(name.size()), false, value.data(),
                     static_cast<int32_t>(value.size()), false);
  }

  bool last_was_space() const { return last_was_space_; }

 protected:
  // Measures a length of -1; 0 for null data.
  static int32_t Measure(const char* data, int32_t length);
  static void FreeOwned(const char* text, bool owns);
  // Records whether the last byte written was whitespace.
  void NoteLast(const char* data, int32_t length) {
    if (length > 0) last_was_space_ = IsSpace(data[length - 1]);
  }

  uint32_t mode_ = 0;
  bool last_was_space_ = true;
};

}  // namespace orin

#endif  // ORIN_OUTPUT_OUTPUT_H_
