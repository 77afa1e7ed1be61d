#include "image/name_chains.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/byte_order.h"
#include "image/tagged_file.h"

namespace orin {

void NameChains::Allocate(uint32_t bits) {
  // calloc: a table of many buckets stays untouched address space until used.
  auto* p = static_cast<uint32_t*>(std::calloc(size_t{1} << bits, sizeof(uint32_t)));
  if (p == nullptr) throw std::bad_alloc();
  heads_.reset(p);
  bits_ = bits;
}

void NameChains::Reset(uint32_t bits) {
  Allocate(bits > kMaxBits ? kMaxBits : bits);
  next_.clear();
  used_.clear();
}

NameChains::NameChains(const NameChains& other) : next_(other.next_), used_(other.used_) {
  Allocate(other.bits_);
  for (uint32_t b : used_)
    heads_[b] = other.heads_[b];
}

NameChains& NameChains::operator=(const NameChains& other) {
  if (this != &other) *this = NameChains(other);
  return *this;
}

bool NameChains::ReadHeader(TaggedFile& file, const HashedHeaderFormat& format, uint32_t* count,
                            std::string* error, uint32_t* reserved) {
  uint8_t h[7];
  if (file.Read(h, sizeof h) != static_cast<int32_t>(sizeof h)) {
    error->assign(file.GetError());
    return false;
  }
  auto bucket_entries = static_cast<int16_t>(GetLE16(h));
  uint32_t bits = h[2];
  uint32_t n = GetLE32(h + 3);
  if (bits > 32) {
    error->assign(format.bits_message);
    return false;
  }
  if ((uint64_t{1} << bits) > 0x1FFFFFFF) {
    error->assign("read_bucket_size out of range");
    return false;
  }
  if (n > format.count_limit) {
    error->assign(format.count_message);
    return false;
  }
  if (bucket_entries < 0) {
    error->assign(format.bucket_entries_message);
    return false;
  }
  if (format.reserved_word) {
    uint8_t r[4];
    if (file.Read(r, sizeof r) != static_cast<int32_t>(sizeof r)) {
      error->assign(file.GetError());
      return false;
    }
    if (reserved != nullptr) *reserved = GetLE32(r);
  }
  std::vector<uint8_t> list;
  if (!ReadExactly(file, 6u * static_cast<uint32_t>(bucket_entries), &list, error)) return false;
  NameChains table(bits);
  std::vector<uint32_t> listed;
  for (int i = 0; i < bucket_entries; ++i) {
    const uint8_t* p = list.data() + 6 * i;
    auto index = static_cast<int16_t>(GetLE16(p));
    if (index < 0 || static_cast<uint32_t>(index) >= table.bucket_count()) {
      error->assign(format.bucket_index_message);
      return false;
    }
    table.heads_[index] = GetLE32(p + 2) + 1;  // 0xFFFFFFFF becomes 0, empty
    listed.push_back(static_cast<uint32_t>(index));
  }
  std::sort(listed.begin(), listed.end());
  listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
  for (uint32_t b : listed) {
    if (table.heads_[b] != 0) table.used_.push_back(b);
  }
  *this = std::move(table);
  *count = n;
  return true;
}

std::vector<uint32_t> NameChains::UsedBuckets() const {
  std::vector<uint32_t> v = used_;
  std::sort(v.begin(), v.end());
  return v;
}

bool NameChains::AppendHeader(std::string* out, bool reserved_word, uint32_t reserved,
                              std::string* error) const {
  std::vector<uint32_t> used = UsedBuckets();
  if (used.size() > 0x7FFF) {
    error->assign("too many used buckets for the file format (at most 32767)");
    return false;
  }
  if (!used.empty() && used.back() > 0x7FFF) {
    error->assign("bucket " + std::to_string(used.back()) +
                  " cannot be written: bucket numbers in files are below 32768");
    return false;
  }
  ByteWriter w(out);
  w.U16(static_cast<uint16_t>(used.size()));
  w.U8(static_cast<uint8_t>(bits_));
  w.U32(size());
  if (reserved_word) w.U32(reserved);
  for (uint32_t b : used) {
    w.U16(static_cast<uint16_t>(b));
    w.U32(heads_[b] - 1);
  }
  return true;
}

}  // namespace orin
