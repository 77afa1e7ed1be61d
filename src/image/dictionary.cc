#include "image/dictionary.h"

#include <cstring>

#include "image/byte_order.h"
#include "image/tagged_file.h"
#include "util/byte_string.h"

namespace orin {

namespace {
constexpr uint32_t kEntryGrowth = 128;
constexpr uint32_t kMaxBlocks = 0x3FFFF;
}  // namespace

Dictionary::Block Dictionary::NewBlock(uint32_t min_bytes) {
  uint32_t capacity = (min_bytes / kBlockSize + 1) * kBlockSize;
  Block b{std::make_unique<char[]>(capacity), capacity, 0};  // zero-filled
  return b;
}

Dictionary::Dictionary(const Dictionary& other)
    : entries_(other.entries_), flags_(other.flags_), share_storage_(other.share_storage_) {
  blocks_.reserve(other.blocks_.size());
  for (const Block& b : other.blocks_) {
    Block copy{std::make_unique<char[]>(b.capacity), b.capacity, b.used};
    std::memcpy(copy.data.get(), b.data.get(), b.used);
    blocks_.push_back(std::move(copy));
  }
}

void Dictionary::AddEntry(const Entry& e) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + kEntryGrowth);
  entries_.push_back(e);
}

bool Dictionary::Load(TaggedFile& file) {
  uint8_t h[12];
  if (!file.SelectSection(SectionId("dict")) || file.Read(h, sizeof h) != 12) {
    error_ = file.GetError();
    return false;
  }
  uint32_t count = GetLE32(h);
  uint32_t data_size = GetLE32(h + 4);
  uint32_t flags = GetLE32(h + 8);
  if (count > kMaxEntries) {
    error_ = "dictionary_header.entries out of range";
    return false;
  }
  if (data_size / kBlockSize + 1 > kMaxBlocks) {
    error_ = "( dictionary_header.data_size / TF_DATA_BLOCK_SIZE ) + 1 out of range";
    return false;
  }
  std::vector<uint8_t> table;
  if (!ReadExactly(file, 8 * count, &table, &error_)) return false;
  std::vector<Entry> entries;
  entries.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    auto offset = static_cast<int64_t>(static_cast<int32_t>(GetLE32(table.data() + 8 * i)));
    int64_t size = GetLE32(table.data() + 8 * i + 4);
    if (offset < 0 || offset > static_cast<int64_t>(data_size) - 1) {
      error_ = "dictionary_entry.offset out of range";
      return false;
    }
    if (offset + size > data_size) {
      error_ = "dictionary_entry.offset + dictionary_entry.size out of range";
      return false;
    }
    entries.push_back({0, static_cast<uint32_t>(offset), static_cast<uint32_t>(size)});
  }
  // Read first, then allocate: the block is never larger than what arrived.
  std::vector<uint8_t> data;
  if (!ReadExactly(file, data_size, &data, &error_)) return false;
  Block block = NewBlock(data_size);
  if (data_size > 0) std::memcpy(block.data.get(), data.data(), data_size);
  block.used = data_size;
  blocks_.clear();
  blocks_.push_back(std::move(block));
  entries_ = std::move(entries);
  flags_ = flags;
  error_.clear();
  return true;
}

int32_t Dictionary::Add(const char* bytes, int64_t length) {
  if (length < 0) length = static_cast<int64_t>(MeasuredText(bytes, length).size());
  if (length > 0x7FFFFFFE - static_cast<int64_t>(kBlockSize) || entries_.size() >= 0x7FFFFFFF) {
    error_ = "String too long";
    return -1;
  }
  auto n = static_cast<uint32_t>(length);
  if (share_storage_ && !blocks_.empty()) {
    Block& cur = blocks_.back();
    // memmem finds the same first occurrence as a plain scan, in far fewer
    // comparisons when the block holds many names sharing letters.
    const void* found = n == 0 ? cur.data.get() : memmem(cur.data.get(), cur.used, bytes, n);
    if (found != nullptr) {
      auto at = static_cast<uint32_t>(static_cast<const char*>(found) - cur.data.get());
      AddEntry({static_cast<uint32_t>(blocks_.size() - 1), at, n});
      return static_cast<int32_t>(entries_.size() - 1);
    }
  }
  if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < n) {
    blocks_.push_back(NewBlock(n));
  }
  Block& cur = blocks_.back();
  if (n > 0) std::memcpy(cur.data.get() + cur.used, bytes, n);
  AddEntry({static_cast<uint32_t>(blocks_.size() - 1), cur.used, n});
  cur.used += n;
  return static_cast<int32_t>(entries_.size() - 1);
}

uint32_t Dictionary::DataOffset(int32_t index) const {
  if (!Has(index)) return 0;
  const Entry& e = entries_[index];
  uint32_t base = 0;
  for (uint32_t b = 0; b < e.block; ++b)
    base += blocks_[b].used;
  return base + e.offset;
}

void Dictionary::AppendSection(std::string* out) const {
  std::vector<uint32_t> base(blocks_.size());
  uint32_t data_size = 0;
  for (size_t b = 0; b < blocks_.size(); ++b) {
    base[b] = data_size;
    data_size += blocks_[b].used;
  }
  bool pad = data_size == 0 && !entries_.empty();
  ByteWriter w(out);
  w.U32(Count());
  w.U32(data_size + (pad ? 1 : 0));
  w.U32(flags_);
  for (const Entry& e : entries_) {
    w.U32(base[e.block] + e.offset);
    w.U32(e.length);
  }
  for (const Block& b : blocks_)
    w.Bytes(b.data.get(), b.used);
  if (pad) w.U8(0);
}

bool Dictionary::Write(TaggedFile& file) const {
  std::string bytes;
  AppendSection(&bytes);
  return file.WriteSection(SectionId("dict"), bytes);
}

}  // namespace orin
