// LinkBuffer: a growable byte string built from a chain of blocks.
//
// Appends copy into the free space of the last block and then into one new
// block, so existing bytes never move; adopted buffers join the chain without
// a copy. The chain is flattened into a single block only when a caller asks
// for contiguous bytes (Data, Release). Invariant: size() is the sum of the
// blocks' used lengths; the chain is doubly linked.
//
// Block capacities: the first block is a multiple of the first unit, later
// ones of the growth unit, each just large enough for the bytes that made
// it. The machine's concatenation buffers use units 512 and 4096.
#ifndef ORIN_VARIABLES_LINK_BUFFER_H_
#define ORIN_VARIABLES_LINK_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <mpdecimal.h>

namespace orin {

class Variable;

class LinkBuffer {
 public:
  // Units of 0 are replaced by 512.
  LinkBuffer(uint32_t first_unit, uint32_t growth_unit);
  ~LinkBuffer();
  LinkBuffer(const LinkBuffer&) = delete;
  LinkBuffer& operator=(const LinkBuffer&) = delete;

  uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint32_t first_unit() const { return first_unit_; }
  uint32_t growth_unit() const { return growth_unit_; }

  // Appending.
  void Concat(const char* bytes, size_t length);
  void Concat(std::string_view text) { Concat(text.data(), text.size()); }
  void Concat_Char(char c) { Concat(&c, 1); }
  void Concat_HexChar(uint8_t byte) { PutHex(byte, false); }  // two upper-case hex digits
  void Concat_Int(int32_t value) { PutInt(value, false); }
  // The variable's text (Value).
  void Concat_Variable(Variable* variable) { PutVariable(variable, false); }
  // The number's text: the decimal text of the double (shortest round-trip
  // digits through a decimal), or of the decimal.
  void Concat_Double(double value) { PutDouble(value, false); }
  void Concat_Decimal(const mpd_t* value) { PutDecimal(value, false); }
  // Adopts a malloc'ed buffer of `capacity` bytes holding `length` bytes as
  // the new last block; this buffer frees it.
  void Concat_String_Nocopy(char* buffer, uint32_t length, uint32_t capacity);
  // Appends a copy of another buffer's bytes, block by block.
  void ConcatCopy(const LinkBuffer& other);
  // Moves the other buffer's blocks to the end of this one; the other is left
  // empty.
  void ConcatMove(LinkBuffer& other);

  // Prepending (the right operand of a concatenation is the buffer).
  void Prepend(const char* bytes, size_t length);
  void Prepend(std::string_view text) { Prepend(text.data(), text.size()); }
  void Prepend_Nocopy(char* buffer, uint32_t length, uint32_t capacity);
  void Prepend_Char(char c) { Prepend(&c, 1); }
  void Prepend_HexChar(uint8_t byte) { PutHex(byte, true); }
  void Prepend_Int(int32_t value) { PutInt(value, true); }
  void Prepend_Variable(Variable* variable) { PutVariable(variable, true); }
  void Prepend_Double(double value) { PutDouble(value, true); }
  void Prepend_Decimal(const mpd_t* value) { PutDecimal(value, true); }
  void PrependCopy(const LinkBuffer& other);
  void PrependMove(LinkBuffer& other);

  // Flattens and returns the NUL-terminated contents; valid until the next
  // change. An empty buffer answers "" with capacity 1.
  const char* Data(uint32_t* length = nullptr, uint32_t* capacity = nullptr);
  std::string_view View() {
    uint32_t n;
    const char* p = Data(&n);
    return std::string_view(p, n);
  }
  // Flattens with `extra` spare bytes and hands the single block (malloc'ed,
  // NUL-terminated when extra > 0) to the caller; the buffer becomes empty
  // and reusable. An empty buffer hands out a new 1-byte array.
  char* Release(uint32_t* length, uint32_t* capacity, uint32_t extra = 1);
  // Copies every byte, in order, to `destination` (size() bytes).
  void CopyTo(char* destination) const;
  // Calls f(data, length) for each non-empty block in order, without
  // flattening; stops early when f returns false.
  template <typename F>
  void ForEachBlock(F&& f) const {
    for (Block* b = first_; b != nullptr; b = b->next) {
      if (b->used > 0 && !f(static_cast<const char*>(b->data), b->used)) return;
    }
  }
  std::string ToString() const;
  void Clear();

  // Number of blocks in the chain (for tests and diagnostics).
  size_t BlockCount() const;
  uint32_t BlockCapacity(size_t index) const;

 private:
  struct Block {
    char* data;
    uint32_t used;
    uint32_t capacity;
    Block* next;
    Block* prev;
  };

  // Appending or prepending, as `prepend` says.
  void Put(const char* bytes, size_t length, bool prepend);
  void PutHex(uint8_t byte, bool prepend);
  void PutInt(int32_t value, bool prepend);
  void PutVariable(Variable* variable, bool prepend);
  void PutDecimal(const mpd_t* value, bool prepend);
  void PutDouble(double value, bool prepend);

  static Block* NewBlock(uint32_t capacity);
  static Block* AdoptBlock(char* buffer, uint32_t length, uint32_t capacity);
  static void FreeBlock(Block* b);
  void LinkLast(Block* b);
  void LinkFirst(Block* b);
  void Flatten(uint32_t extra);

  Block* first_ = nullptr;
  Block* last_ = nullptr;
  uint32_t size_ = 0;
  uint32_t first_unit_;
  uint32_t growth_unit_;
};

}  // namespace orin

#endif  // ORIN_VARIABLES_LINK_BUFFER_H_
