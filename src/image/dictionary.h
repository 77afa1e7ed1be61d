// Dictionary: the string constants of a program ("dict" section).
//
// Section layout (little-endian):
//   0   4         entries (at most 0x7FFFFFF)
//   4   4         data_size
//   8   4         flags (bit 0: the program is exempt from tracing)
//   12  8*entries per string: offset (signed) into the data, size
//   ..  data_size the string bytes, no terminators; strings may overlap
//
// In memory the bytes live in blocks whose capacities are multiples of
// kBlockSize. A block is never reallocated, so the bytes Lookup returns stay
// where they are for the dictionary's lifetime: the machine pushes them
// without copying. Add appends to the last block (reusing an identical run
// of bytes already there) or starts a new one.
#ifndef ORIN_IMAGE_DICTIONARY_H_
#define ORIN_IMAGE_DICTIONARY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class TaggedFile;

class Dictionary {
 public:
  static constexpr uint32_t kBlockSize = 8192;
  static constexpr uint32_t kMaxEntries = 0x7FFFFFF;

  Dictionary() = default;
  // Deep copy (a task gets its own program objects).
  Dictionary(const Dictionary& other);
  Dictionary& operator=(const Dictionary&) = delete;

  // Reads the "dict" section. On failure the previous contents stay and
  // ErrorText() says why.
  bool Load(TaggedFile& file);

  // The bytes of string `index` (not NUL-terminated), or nullptr with
  // *length 0 when the index is negative or not below Count().
  const char* Lookup(int32_t index, uint32_t* length) const {
    if (index < 0 || static_cast<uint32_t>(index) >= entries_.size()) {
      *length = 0;
      return nullptr;
    }
    const Entry& e = entries_[index];
    *length = e.length;
    return blocks_[e.block].data.get() + e.offset;
  }
  std::string_view View(int32_t index, bool* found = nullptr) const {
    uint32_t n;
    const char* p = Lookup(index, &n);
    if (found != nullptr) *found = p != nullptr;
    return p == nullptr ? std::string_view() : std::string_view(p, n);
  }
  bool Has(int64_t index) const { return index >= 0 && index < static_cast<int64_t>(Count()); }

  // Adds a string (`length` -1: NUL-terminated) and returns its new index,
  // or -1 when it is too long.
  int32_t Add(const char* bytes, int64_t length);
  int32_t Add(std::string_view text) { return Add(text.data(), static_cast<int64_t>(text.size())); }

  // Whether Add looks for the bytes in the current block before storing
  // them (on: a written dictionary shares storage between names). A running
  // program's dictionary is never written; its run adds dozens of names,
  // and searching the block for each is wasted time.
  void set_share_storage(bool share) { share_storage_ = share; }

  uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
  uint32_t Flags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }
  const std::string& ErrorText() const { return error_; }

  // The "dict" section as bytes. Block contents are laid end to end; a
  // dictionary whose strings are all empty gets one pad byte, because every
  // entry must point inside the data.
  void AppendSection(std::string* out) const;
  bool Write(TaggedFile& file) const;

  // Where string `index` lies in the written data (tools show overlaps).
  uint32_t DataOffset(int32_t index) const;
  uint32_t BlockCount() const { return static_cast<uint32_t>(blocks_.size()); }

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    uint32_t capacity;
    uint32_t used;
  };
  struct Entry {
    uint32_t block;
    uint32_t offset;
    uint32_t length;
  };
  static Block NewBlock(uint32_t min_bytes);
  void AddEntry(const Entry& e);

  std::vector<Block> blocks_;  // the last one is the current block
  std::vector<Entry> entries_;
  uint32_t flags_ = 0;
  bool share_storage_ = true;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_IMAGE_DICTIONARY_H_
