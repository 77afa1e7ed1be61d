#include "variables/link_buffer.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "variables/decimal.h"
#include "variables/variable.h"

namespace orin {

namespace {

uint32_t Units(size_t n, uint32_t unit) {
  size_t cap = (n / unit + 1) * static_cast<size_t>(unit);
  if (cap > 0xFFFFFFFFu) throw std::bad_alloc();
  return static_cast<uint32_t>(cap);
}

void CheckGrowth(uint32_t size, size_t more) {
  if (static_cast<size_t>(size) + more > 0x7FFFFFFEu) throw std::bad_alloc();
}

}  // namespace

LinkBuffer::LinkBuffer(uint32_t first_unit, uint32_t growth_unit)
    : first_unit_(first_unit ? first_unit : 512), growth_unit_(growth_unit ? growth_unit : 512) {}

LinkBuffer::~LinkBuffer() {
  Clear();
}

LinkBuffer::Block* LinkBuffer::NewBlock(uint32_t capacity) {
  char* data = static_cast<char*>(std::malloc(capacity));
  if (data == nullptr) throw std::bad_alloc();
  return new Block{data, 0, capacity, nullptr, nullptr};
}

LinkBuffer::Block* LinkBuffer::AdoptBlock(char* buffer, uint32_t length, uint32_t capacity) {
  return new Block{buffer, length, capacity < length ? length : capacity, nullptr, nullptr};
}

void LinkBuffer::FreeBlock(Block* b) {
  std::free(b->data);
  delete b;
}

void LinkBuffer::LinkLast(Block* b) {
  b->prev = last_;
  b->next = nullptr;
  if (last_)
    last_->next = b;
  else
    first_ = b;
  last_ = b;
}

void LinkBuffer::LinkFirst(Block* b) {
  b->next = first_;
  b->prev = nullptr;
  if (first_)
    first_->prev = b;
  else
    last_ = b;
  first_ = b;
}

void LinkBuffer::Clear() {
  Block* b = first_;
  while (b) {
    Block* next = b->next;
    FreeBlock(b);
    b = next;
  }
  first_ = last_ = nullptr;
  size_ = 0;
}

void LinkBuffer::Concat(const char* bytes, size_t length) {
  if (length == 0) return;
  CheckGrowth(size_, length);
  size_ += static_cast<uint32_t>(length);
  if (last_ == nullptr) {
    Block* b = NewBlock(Units(length, first_unit_));
    LinkLast(b);
  }
  size_t room = last_->capacity - last_->used;
  size_t take = room < length ? room : length;
  if (take > 0) {
    std::memcpy(last_->data + last_->used, bytes, take);
    last_->used += static_cast<uint32_t>(take);
  }
  size_t rest = length - take;
  if (rest > 0) {
    Block* b = NewBlock(Units(rest, growth_unit_));
    std::memcpy(b->data, bytes + take, rest);
    b->used = static_cast<uint32_t>(rest);
    LinkLast(b);
  }
}

namespace {

void HexPair(uint8_t byte, char two[2]) {
  static const char kHex[] = "0123456789ABCDEF";
  two[0] = kHex[byte >> 4];
  two[1] = kHex[byte & 15];
}

}  // namespace

void LinkBuffer::Put(const char* bytes, size_t length, bool prepend) {
  if (prepend) {
    Prepend(bytes, length);
  } else {
    Concat(bytes, length);
  }
}

void LinkBuffer::PutHex(uint8_t byte, bool prepend) {
  char two[2];
  HexPair(byte, two);
  Put(two, 2, prepend);
}

void LinkBuffer::PutInt(int32_t value, bool prepend) {
  char text[16];
  Put(text, FormatInteger(value, text), prepend);
}

void LinkBuffer::PutVariable(Variable* variable, bool prepend) {
  if (variable == nullptr) return;
  const ByteString& text = variable->Value();
  Put(text.data(), text.size(), prepend);
}

void LinkBuffer::PutDecimal(const mpd_t* value, bool prepend) {
  uint32_t n, capacity;
  char* text = TextFromDecimal(value, &n, &capacity);
  // Short number texts are copied (a block per number would fragment the
  // chain); long ones are adopted as they are.
  constexpr uint32_t kAdoptFrom = 64;
  if (n < kAdoptFrom) {
    std::unique_ptr<char, decltype(&std::free)> hold(text, &std::free);
    Put(text, n, prepend);
  } else if (prepend) {
    Prepend_Nocopy(text, n, capacity);
  } else {
    Concat_String_Nocopy(text, n, capacity);
  }
}

void LinkBuffer::PutDouble(double value, bool prepend) {
  DecimalPtr d(DecimalFromDouble(nullptr, value));
  PutDecimal(d.get(), prepend);
}

void LinkBuffer::Concat_String_Nocopy(char* buffer, uint32_t length, uint32_t capacity) {
  if (buffer == nullptr) return;
  CheckGrowth(size_, length);
  LinkLast(AdoptBlock(buffer, length, capacity));
  size_ += length;
}

void LinkBuffer::ConcatCopy(const LinkBuffer& other) {
  if (&other == this) {
    // Copy our own bytes once, then append them.
    std::string copy = ToString();
    Concat(copy.data(), copy.size());
    return;
  }
  other.ForEachBlock([this](const char* p, uint32_t n) {
    Concat(p, n);
    return true;
  });
}

void LinkBuffer::ConcatMove(LinkBuffer& other) {
  if (&other == this || other.first_ == nullptr) return;
  CheckGrowth(size_, other.size_);
  if (last_) {
    last_->next = other.first_;
    other.first_->prev = last_;
  } else {
    first_ = other.first_;
  }
  last_ = other.last_;
  size_ += other.size_;
  other.first_ = other.last_ = nullptr;
  other.size_ = 0;
}

void LinkBuffer::Prepend(const char* bytes, size_t length) {
  if (length == 0) return;
  if (first_ == nullptr) {
    Concat(bytes, length);
    return;
  }
  CheckGrowth(size_, length);
  Block* b = NewBlock(Units(length, growth_unit_));
  std::memcpy(b->data, bytes, length);
  b->used = static_cast<uint32_t>(length);
  LinkFirst(b);
  size_ += static_cast<uint32_t>(length);
}

void LinkBuffer::Prepend_Nocopy(char* buffer, uint32_t length, uint32_t capacity) {
  if (buffer == nullptr) return;
  CheckGrowth(size_, length);
  LinkFirst(AdoptBlock(buffer, length, capacity));
  size_ += length;
}

void LinkBuffer::PrependCopy(const LinkBuffer& other) {
  if (other.size_ == 0) return;
  std::string copy = other.ToString();
  Prepend(copy.data(), copy.size());
}

void LinkBuffer::PrependMove(LinkBuffer& other) {
  if (&other == this || other.first_ == nullptr) return;
  CheckGrowth(size_, other.size_);
  if (first_) {
    other.last_->next = first_;
    first_->prev = other.last_;
  } else {
    last_ = other.last_;
  }
  first_ = other.first_;
  size_ += other.size_;
  other.first_ = other.last_ = nullptr;
  other.size_ = 0;
}

void LinkBuffer::Flatten(uint32_t extra) {
  if (first_ != nullptr && first_ == last_ && first_->capacity - first_->used >= extra) return;
  size_t cap = static_cast<size_t>(size_) + extra;
  if (cap > 0xFFFFFFFFu) throw std::bad_alloc();
  Block* flat = NewBlock(static_cast<uint32_t>(cap ? cap : 1));
  CopyTo(flat->data);
  flat->used = size_;
  uint32_t keep = size_;
  Clear();
  LinkLast(flat);
  size_ = keep;
}

const char* LinkBuffer::Data(uint32_t* length, uint32_t* capacity) {
  if (size_ == 0) {
    if (length) *length = 0;
    if (capacity) *capacity = 1;
    return "";
  }
  Flatten(1);
  first_->data[first_->used] = 0;
  if (length) *length = size_;
  if (capacity) *capacity = first_->capacity;
  return first_->data;
}

char* LinkBuffer::Release(uint32_t* length, uint32_t* capacity, uint32_t extra) {
  if (size_ == 0) {
    Clear();
    char* p = static_cast<char*>(std::malloc(1));
    if (p == nullptr) throw std::bad_alloc();
    p[0] = 0;
    if (length) *length = 0;
    if (capacity) *capacity = 1;
    return p;
  }
  Flatten(extra);
  char* p = first_->data;
  if (extra > 0) p[first_->used] = 0;
  if (length) *length = size_;
  if (capacity) *capacity = first_->capacity;
  delete first_;  // the bytes now belong to the caller
  first_ = last_ = nullptr;
  size_ = 0;
  return p;
}

void LinkBuffer::CopyTo(char* destination) const {
  ForEachBlock([&destination](const char* p, uint32_t n) {
    std::memcpy(destination, p, n);
    destination += n;
    return true;
  });
}

std::string LinkBuffer::ToString() const {
  std::string s;
  s.reserve(size_);
  ForEachBlock([&s](const char* p, uint32_t n) {
    s.append(p, n);
    return true;
  });
  return s;
}

size_t LinkBuffer::BlockCount() const {
  size_t n = 0;
  for (Block* b = first_; b; b = b->next)
    ++n;
  return n;
}

uint32_t LinkBuffer::BlockCapacity(size_t index) const {
  Block* b = first_;
  while (b && index-- > 0)
    b = b->next;
  return b ? b->capacity : 0;
}

}  // namespace orin
