// NameChains: the hashed layout shared by the function table, variable
// hashes, the language table and the token indexes of a compiled file.
//
// A table of n entries has 2^bits buckets. The bucket of a name is the
// lookup2 hash of its ASCII-lower-cased bytes masked to the bucket count.
// Each bucket holds the number of its first entry (-1 when empty) and each
// entry the number of the next one in its chain (-1 at the end). Chains are
// kept in chain order (shorter names first, then case-insensitive bytes, see
// CompareChainOrder), so a lookup stops at the first larger name.
//
// File layout (little-endian):
//   0   2   used-bucket count (signed, >= 0)
//   2   1   bits
//   3   4   entry count
//   [7  4   reserved (token indexes only)]
//   then 6 per used bucket: bucket number (2, signed), first entry (4)
// The entries' own records follow and differ per table.
//
// Chains read from a file are not trusted: walks stop at a link outside the
// table and after as many steps as there are entries, so a cycle cannot hang
// a lookup. Bucket heads are an array when the table is small or has about
// as many entries as buckets; otherwise only the non-empty buckets are kept
// (a map), so that a file cannot make 2^28 buckets cost a gigabyte.
#ifndef ORIN_IMAGE_NAME_CHAINS_H_
#define ORIN_IMAGE_NAME_CHAINS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "util/ascii.h"
#include "util/lookup2.h"

namespace orin {

class TaggedFile;

// Bucket bits for a table built in memory: the smallest 2^bits (at least 8
// buckets, at most 2^15) that holds `count` names at one per bucket.
inline uint32_t DefaultHashBits(uint32_t count) {
  uint32_t bits = 3;
  while (bits < 15 && (1u << bits) < count)
    ++bits;
  return bits;
}

// The per-table messages of a hashed header, for example
// "variable_hash_header.bucket_bits out of range".
struct HashedHeaderFormat {
  const char* bits_message;
  const char* count_message;
  const char* bucket_entries_message;
  const char* bucket_index_message;
  uint32_t count_limit;
  bool reserved_word;  // 4 reserved bytes after the 7-byte header
};

class NameChains {
 public:
  // Bucket bits a file may give; 2^29 buckets and more are refused.
  static constexpr uint32_t kMaxBits = 28;
  // Up to 2^kDenseBits buckets, or 4 per expected entry, the heads are an array.
  static constexpr uint32_t kDenseBits = 8;

  explicit NameChains(uint32_t bits = 0, uint32_t expected_entries = 0) {
    Reset(bits, expected_entries);
  }

  // Empties the table and gives it 2^bits buckets (bits at most kMaxBits).
  // `expected_entries` only chooses how the heads are stored.
  void Reset(uint32_t bits, uint32_t expected_entries = 0);

  uint32_t bits() const { return bits_; }
  uint32_t bucket_count() const { return 1u << bits_; }
  uint32_t mask() const { return bucket_count() - 1; }
  uint32_t size() const { return static_cast<uint32_t>(next_.size()); }
  // Non-empty buckets.
  uint32_t used_buckets() const { return static_cast<uint32_t>(used_.size()); }
  // First entry of a bucket, -1 when empty. `bucket` must be below
  // bucket_count().
  int32_t Head(uint32_t bucket) const { return static_cast<int32_t>(StoredHead(bucket) - 1); }
  // Next entry in the chain, -1 at the end; `entry` must be below size().
  int32_t Next(uint32_t entry) const { return next_[entry]; }
  uint32_t BucketOf(std::string_view name) const { return Lookup2Lower(name) & mask(); }
  // Whether `e` is a link a walk may follow.
  bool Valid(int32_t e) const { return e >= 0 && static_cast<uint32_t>(e) < size(); }

  // Adds an entry slot (not linked yet) and returns its number.
  uint32_t AddSlot() {
    next_.push_back(-1);
    return size() - 1;
  }
  void Reserve(uint32_t entries) { next_.reserve(entries); }

  // Links `entry`, named `name`, into its bucket before the first entry that
  // sorts after it. name_of(e) returns the name of entry e.
  template <typename NameOf>
  void Link(uint32_t entry, std::string_view name, NameOf&& name_of) {
    uint32_t b = BucketOf(name);
    int32_t prev = -1;
    int32_t e = Head(b);
    for (uint32_t steps = size(); Valid(e) && steps > 0; --steps) {
      if (CompareChainOrder(name_of(static_cast<uint32_t>(e)), name) > 0) break;
      prev = e;
      e = next_[e];
    }
    next_[entry] = Valid(e) ? e : -1;
    if (prev >= 0) {
      next_[prev] = static_cast<int32_t>(entry);
    } else {
      SetHead(b, entry + 1);
    }
  }

  // The entry named `name` (letter case ignored), or -1. Stops at the first
  // longer name, or equal-length greater name.
  template <typename NameOf>
  int32_t Find(std::string_view name, NameOf&& name_of) const {
    int32_t e = Head(BucketOf(name));
    for (uint32_t steps = size(); Valid(e) && steps > 0; --steps) {
      int c = CompareChainOrder(name_of(static_cast<uint32_t>(e)), name);
      if (c == 0) return e;
      if (c > 0) return -1;
      e = next_[e];
    }
    return -1;
  }

  // Reading a file: ReadHeader reads the header and the bucket list at the
  // container's read position and puts the entry count in *count; the caller
  // reads the entries' records, adds each link with AppendLink, then calls
  // FinishRead. On failure *error holds the message.
  bool ReadHeader(TaggedFile& file, const HashedHeaderFormat& format, uint32_t* count,
                  std::string* error, uint32_t* reserved = nullptr);
  // Adds a slot with a link as stored in a file (0xFFFFFFFF ends a chain).
  void AppendLink(uint32_t next) { next_.push_back(static_cast<int32_t>(next)); }
  void FinishRead();
  // The link as it is stored in a file.
  uint32_t RawNext(uint32_t entry) const { return static_cast<uint32_t>(next_[entry]); }

  // Appends the header and the bucket list (used buckets in ascending
  // order). Fails when a used bucket number or the used count does not fit
  // the 16-bit fields of the file.
  bool AppendHeader(std::string* out, bool reserved_word, uint32_t reserved,
                    std::string* error) const;
  // The used bucket numbers in ascending order.
  std::vector<uint32_t> UsedBuckets() const;

 private:
  // Heads are stored as head + 1, so that 0 means empty.
  uint32_t StoredHead(uint32_t bucket) const {
    if (!dense_.empty()) return dense_[bucket];
    auto it = sparse_.find(bucket);
    return it == sparse_.end() ? 0 : it->second;
  }
  void SetHead(uint32_t bucket, uint32_t stored);

  uint32_t bits_ = 0;
  std::vector<uint32_t> dense_;                    // all buckets, or empty
  std::unordered_map<uint32_t, uint32_t> sparse_;  // non-empty buckets otherwise
  std::vector<int32_t> next_;
  std::vector<uint32_t> used_;                          // non-empty buckets, in order of first use
  std::vector<std::pair<uint32_t, uint32_t>> pending_;  // bucket list being read
};

}  // namespace orin

#endif  // ORIN_IMAGE_NAME_CHAINS_H_
