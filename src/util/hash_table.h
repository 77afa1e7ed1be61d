// HashTable: the keyed table behind headers, library registries,
// configuration values and other name-to-value maps.
//
// Layout: 2^bits buckets of signed 32-bit entry numbers (-1 empty), a
// next-link per entry, and an entry array that grows by 512 entries. The
// bucket of a key is its lookup2 hash (over lower-cased bytes when the table
// ignores letter case) masked to the bucket count. Each chain is kept in key
// order (shorter keys first, then by bytes), so a lookup stops at the first
// larger key. Iteration visits live entries in insertion order.
//
// Ownership is expressed by V: store std::unique_ptr<T> for a table that
// owns its entries, T* for one that does not.
#ifndef ORIN_UTIL_HASH_TABLE_H_
#define ORIN_UTIL_HASH_TABLE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "util/ascii.h"
#include "util/byte_string.h"
#include "util/lookup2.h"

namespace orin {

template <typename V>
class HashTable {
 public:
  static constexpr uint32_t kGrowth = 512;

  explicit HashTable(int bits = 12, bool ignore_case = true, uint32_t initial_entries = kGrowth)
      : bits_(bits), ignore_case_(ignore_case), buckets_(size_t{1} << bits, -1) {
    entries_.reserve(initial_entries);
    next_.reserve(initial_entries);
  }

  bool ignore_case() const { return ignore_case_; }
  size_t size() const { return live_; }
  bool empty() const { return live_ == 0; }

  V* Find(std::string_view key) {
    int32_t i = FindIndex(key);
    return i < 0 ? nullptr : &entries_[i].value;
  }
  const V* Find(std::string_view key) const {
    return const_cast<HashTable*>(this)->Find(key);
  }

  // Stores the value under the key, replacing (and destroying) an existing
  // value of that key in place. Returns the stored value.
  V& Set(std::string_view key, V value) {
    Link link;
    int32_t i = Locate(key, &link);
    if (i >= 0) {
      entries_[i].value = std::move(value);
      return entries_[i].value;
    }
    return Append(key, std::move(value), link);
  }

  // Removes the key; returns whether it was there. The entry's slot is not
  // reused, so insertion order of the other entries is kept.
  bool Remove(std::string_view key) {
    Link link;
    int32_t i = Locate(key, &link);
    if (i < 0) return false;
    At(link) = next_[i];
    next_[i] = -1;
    entries_[i].live = false;
    entries_[i].value = V();
    --live_;
    if (entries_.size() > kGrowth && live_ * 2 < entries_.size()) Compact();
    return true;
  }

  void Clear() {
    entries_.clear();
    next_.clear();
    std::fill(buckets_.begin(), buckets_.end(), -1);
    live_ = 0;
  }

  // Insertion-order iteration over (key, value) of live entries.
  template <typename F>
  void ForEach(F&& f) {
    for (auto& e : entries_) {
      if (e.live) f(e.key.view(), e.value);
    }
  }
  template <typename F>
  void ForEach(F&& f) const {
    for (const auto& e : entries_) {
      if (e.live) f(e.key.view(), e.value);
    }
  }

 private:
  struct Entry {
    ByteString key;
    V value;
    bool live;
  };

  uint32_t Bucket(std::string_view key) const {
    uint32_t h = ignore_case_ ? Lookup2Lower(key) : Lookup2(key.data(), key.size(), 0);
    return h & ((uint32_t{1} << bits_) - 1);
  }

  int Compare(std::string_view a, std::string_view b) const {
    if (ignore_case_) return CompareChainOrder(a, b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = a.empty() ? 0 : std::memcmp(a.data(), b.data(), a.size());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }

  // Where a chain link lives: a bucket head or the next-link of an entry.
  // Kept as an index because appending may move next_.
  struct Link {
    bool in_bucket;
    uint32_t index;
  };
  int32_t& At(Link l) { return l.in_bucket ? buckets_[l.index] : next_[l.index]; }

  int32_t FindIndex(std::string_view key) const {
    Link link;
    return const_cast<HashTable*>(this)->Locate(key, &link);
  }

  // Walks the key's chain. Returns the entry number when found (with *link
  // the link that points at it); otherwise -1 with *link the link before
  // which the key would be inserted.
  int32_t Locate(std::string_view key, Link* link) {
    Link l{true, Bucket(key)};
    while (At(l) >= 0) {
      int32_t i = At(l);
      int c = Compare(entries_[i].key.view(), key);
      if (c == 0) {
        *link = l;
        return i;
      }
      if (c > 0) break;
      l = Link{false, static_cast<uint32_t>(i)};
    }
    *link = l;
    return -1;
  }

  V& Append(std::string_view key, V value, Link link) {
    if (entries_.size() == entries_.capacity()) {
      entries_.reserve(entries_.size() + kGrowth);
      next_.reserve(next_.size() + kGrowth);
    }
    auto n = static_cast<int32_t>(entries_.size());
    next_.push_back(At(link));
    At(link) = n;
    entries_.push_back(Entry{ByteString(key), std::move(value), true});
    ++live_;
    return entries_.back().value;
  }

  void Compact() {
    std::vector<Entry> old;
    old.swap(entries_);
    Clear();
    entries_.reserve(old.size());
    next_.reserve(old.size());
    for (auto& e : old) {
      if (e.live) Set(e.key.view(), std::move(e.value));
    }
  }

  int bits_;
  bool ignore_case_;
  std::vector<int32_t> buckets_;
  std::vector<int32_t> next_;
  std::vector<Entry> entries_;
  size_t live_ = 0;
};

}  // namespace orin

#endif  // ORIN_UTIL_HASH_TABLE_H_
