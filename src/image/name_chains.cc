#include "image/name_chains.h"

#include <algorithm>

#include "image/byte_order.h"
#include "image/tagged_file.h"

namespace orin {

void NameChains::Reset(uint32_t bits, uint32_t expected_entries) {
  bits_ = bits > kMaxBits ? kMaxBits : bits;
  dense_.clear();
  sparse_.clear();
  uint64_t buckets = uint64_t{1} << bits_;
  if (bits_ <= kDenseBits || buckets <= 4 * uint64_t{expected_entries}) {
    dense_.assign(buckets, 0);
  }
  next_.clear();
  used_.clear();
  pending_.clear();
}

void NameChains::SetHead(uint32_t bucket, uint32_t stored) {
  uint32_t before = StoredHead(bucket);
  if (before == 0 && stored != 0) used_.push_back(bucket);
  if (before != 0 && stored == 0) used_.erase(std::find(used_.begin(), used_.end(), bucket));
  if (!dense_.empty()) {
    dense_[bucket] = stored;
  } else if (stored != 0) {
    sparse_[bucket] = stored;
  } else {
    sparse_.erase(bucket);
  }
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
  std::vector<std::pair<uint32_t, uint32_t>> pending;
  for (int i = 0; i < bucket_entries; ++i) {
    const uint8_t* p = list.data() + 6 * i;
    auto index = static_cast<int16_t>(GetLE16(p));
    if (index < 0 || (uint32_t{1} << bits) <= static_cast<uint32_t>(index)) {
      error->assign(format.bucket_index_message);
      return false;
    }
    pending.emplace_back(static_cast<uint32_t>(index), GetLE32(p + 2));
  }
  Reset(bits);
  pending_ = std::move(pending);
  *count = n;
  return true;
}

void NameChains::FinishRead() {
  // The entries are read now, so their number may justify an array.
  std::vector<int32_t> next = std::move(next_);
  std::vector<std::pair<uint32_t, uint32_t>> pending = std::move(pending_);
  Reset(bits_, static_cast<uint32_t>(next.size()));
  next_ = std::move(next);
  for (const auto& [bucket, first] : pending) {
    SetHead(bucket, first + 1);  // a listed 0xFFFFFFFF leaves the bucket empty
  }
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
    w.U32(StoredHead(b) - 1);
  }
  return true;
}

}  // namespace orin
