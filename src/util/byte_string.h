// ByteString: bytes with an explicit length and capacity.
//
// NUL bytes are data; no character set is implied. The buffer always holds a
// NUL one past the last byte so that the contents can be handed to C code
// that expects a terminated text, but nothing here relies on it. An empty
// string owns no memory. The heap buffer comes from malloc so that it can be
// adopted from, and handed to, the plug-in interface (which frees with free).
#ifndef ORIN_UTIL_BYTE_STRING_H_
#define ORIN_UTIL_BYTE_STRING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orin {

class ByteString {
 public:
  ByteString() noexcept : data_(const_cast<char*>(kEmpty)), size_(0), capacity_(0) {}
  ByteString(const char* bytes, size_t length) : ByteString() { Assign(bytes, length); }
  explicit ByteString(std::string_view text) : ByteString(text.data(), text.size()) {}
  ByteString(const ByteString& other) : ByteString(other.data_, other.size_) {}
  ByteString(ByteString&& other) noexcept
      : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = const_cast<char*>(kEmpty);
    other.size_ = other.capacity_ = 0;
  }
  ByteString& operator=(const ByteString& other) {
    if (this != &other) Assign(other.data_, other.size_);
    return *this;
  }
  ByteString& operator=(ByteString&& other) noexcept;
  ~ByteString() { Free(); }

  // Takes ownership of a malloc'ed buffer of `capacity` bytes holding `length`
  // bytes. When there is no room for the terminating NUL the buffer grows.
  static ByteString Adopt(char* buffer, uint32_t length, uint32_t capacity);

  const char* data() const { return data_; }
  char* mutable_data() { return data_; }
  uint32_t size() const { return size_; }
  uint32_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return std::string_view(data_, size_); }
  std::string str() const { return std::string(data_, size_); }
  char operator[](size_t i) const { return data_[i]; }

  void Assign(const char* bytes, size_t length);
  void Assign(std::string_view text) { Assign(text.data(), text.size()); }
  void Append(const char* bytes, size_t length);
  void Append(std::string_view text) { Append(text.data(), text.size()); }
  void Append(char c);
  // Makes room for at least `length` bytes plus the NUL.
  void Reserve(size_t length);
  // Sets the length, which must not exceed the capacity; writes the NUL.
  void SetSize(uint32_t length);
  void Clear() { Free(); }
  // Hands the buffer to the caller (free it with free); the string becomes
  // empty. An empty string hands out a new 1-byte buffer.
  char* Release(uint32_t* length, uint32_t* capacity);

  friend bool operator==(const ByteString& a, const ByteString& b) { return a.view() == b.view(); }
  friend bool operator==(const ByteString& a, std::string_view b) { return a.view() == b; }

 private:
  static constexpr char kEmpty[1] = {0};
  void Free();

  char* data_;
  uint32_t size_;
  uint32_t capacity_;  // 0 while data_ points at kEmpty
};

// Largest length any byte string may reach; lengths travel as signed 32-bit
// values through the plug-in interface.
constexpr uint32_t kMaxByteStringLength = 0x7FFFFFFE;

// The bytes of a text handed over as pointer and length, where a negative
// length means a NUL-terminated text to be measured (the plug-in interface's
// habit). A null pointer is the empty text.
inline std::string_view MeasuredText(const char* bytes, int64_t length) {
  if (bytes == nullptr) return {};
  return length < 0 ? std::string_view(bytes)
                    : std::string_view(bytes, static_cast<size_t>(length));
}

}  // namespace orin

#endif  // ORIN_UTIL_BYTE_STRING_H_
