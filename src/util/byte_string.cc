#include "util/byte_string.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace orin {

namespace {

char* Allocate(size_t bytes) {
  void* p = std::malloc(bytes);
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<char*>(p);
}

}  // namespace

ByteString& ByteString::operator=(ByteString&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = const_cast<char*>(kEmpty);
    other.size_ = other.capacity_ = 0;
  }
  return *this;
}

ByteString ByteString::Adopt(char* buffer, uint32_t length, uint32_t capacity) {
  ByteString s;
  if (buffer == nullptr) return s;
  if (capacity < length + 1) {
    void* grown = std::realloc(buffer, static_cast<size_t>(length) + 1);
    if (grown == nullptr) throw std::bad_alloc();
    buffer = static_cast<char*>(grown);
    capacity = length + 1;
  }
  s.data_ = buffer;
  s.size_ = length;
  s.capacity_ = capacity;
  s.data_[length] = 0;
  return s;
}

void ByteString::Free() {
  if (capacity_ != 0) std::free(data_);
  data_ = const_cast<char*>(kEmpty);
  size_ = capacity_ = 0;
}

void ByteString::Reserve(size_t length) {
  if (length > kMaxByteStringLength) throw std::bad_alloc();
  if (capacity_ != 0 && length + 1 <= capacity_) return;
  // Grow by half again so that repeated appends stay linear.
  size_t want = length + 1;
  if (capacity_ != 0 && want < static_cast<size_t>(capacity_) + capacity_ / 2) {
    want = static_cast<size_t>(capacity_) + capacity_ / 2;
  }
  if (want < 16) want = 16;
  if (want > kMaxByteStringLength + 1) want = kMaxByteStringLength + 1;
  if (capacity_ == 0) {
    char* p = Allocate(want);
    p[0] = 0;
    data_ = p;
  } else {
    void* p = std::realloc(data_, want);
    if (p == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
  }
  capacity_ = static_cast<uint32_t>(want);
}

void ByteString::Assign(const char* bytes, size_t length) {
  if (length == 0) {
    if (capacity_ != 0) {
      size_ = 0;
      data_[0] = 0;
    }
    return;
  }
  if (bytes >= data_ && bytes < data_ + size_ && capacity_ != 0) {
    // Assigning a part of ourselves: move within the buffer.
    std::memmove(data_, bytes, length);
  } else {
    if (capacity_ == 0 || length + 1 > capacity_) {
      Free();
      if (length > kMaxByteStringLength) throw std::bad_alloc();
      data_ = Allocate(length + 1);
      capacity_ = static_cast<uint32_t>(length + 1);
    }
    std::memcpy(data_, bytes, length);
  }
  size_ = static_cast<uint32_t>(length);
  data_[size_] = 0;
}

void ByteString::Append(const char* bytes, size_t length) {
  if (length == 0) return;
  if (static_cast<size_t>(size_) + length > kMaxByteStringLength) throw std::bad_alloc();
  if (capacity_ != 0 && bytes >= data_ && bytes < data_ + size_) {
    // Appending a part of ourselves: remember the offset across a realloc.
    size_t offset = static_cast<size_t>(bytes - data_);
    Reserve(size_ + length);
    std::memmove(data_ + size_, data_ + offset, length);
  } else {
    Reserve(size_ + length);
    std::memcpy(data_ + size_, bytes, length);
  }
  size_ += static_cast<uint32_t>(length);
  data_[size_] = 0;
}

void ByteString::Append(char c) {
  Reserve(static_cast<size_t>(size_) + 1);
  data_[size_++] = c;
  data_[size_] = 0;
}

void ByteString::SetSize(uint32_t length) {
  if (capacity_ == 0) {
    if (length == 0) return;
    Reserve(length);
  }
  if (length + 1 > capacity_) Reserve(length);
  size_ = length;
  data_[size_] = 0;
}

char* ByteString::Release(uint32_t* length, uint32_t* capacity) {
  char* p;
  if (capacity_ == 0) {
    p = Allocate(1);
    p[0] = 0;
    if (length) *length = 0;
    if (capacity) *capacity = 1;
  } else {
    p = data_;
    if (length) *length = size_;
    if (capacity) *capacity = capacity_;
  }
  data_ = const_cast<char*>(kEmpty);
  size_ = capacity_ = 0;
  return p;
}

}  // namespace orin
