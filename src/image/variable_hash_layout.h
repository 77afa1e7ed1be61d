// VariableHashLayout: the layout of a variable scope as the compiler fixed
// it, read from the "syst" and "glbl" sections and from each function's
// locals inside "func". The live scope (VariableHash) is built over it.
//
// File layout (little-endian), the hashed header of name_chains.h:
//   0   2   used-bucket count        3   4   variable count (<= 0x7FFFFFF)
//   2   1   bits                     7   6*used: bucket (2), first entry (4)
//   then 8 per variable: name id (4, dictionary index), next entry (4;
//   0xFFFFFFFF ends the chain)
//
// What the fields mean:
//   bits()           the table has 2^bits buckets
//   used_buckets()   number of non-empty buckets
//   Head(b)          first entry of bucket b, -1 when empty (b < 2^bits)
//   Next(e)          next entry of e's chain, -1 at the end (e < Count())
//   NameId(e)        dictionary index of entry e's name
// Entry numbers are the slots compiled code addresses variables by; entries
// are only ever appended. Links read from a file are not checked: use
// chains().Valid(e) before following one (Find does).
#ifndef ORIN_IMAGE_VARIABLE_HASH_LAYOUT_H_
#define ORIN_IMAGE_VARIABLE_HASH_LAYOUT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/name_chains.h"

namespace orin {

class Dictionary;
class Stream;
class TaggedFile;

class VariableHashLayout {
 public:
  static constexpr uint32_t kMaxVariables = 0x7FFFFFF;

  explicit VariableHashLayout(uint32_t bits = 0) : chains_(bits) {}

  // Empties the layout and gives it 2^bits buckets.
  void Reset(uint32_t bits) {
    chains_.Reset(bits);
    name_ids_.clear();
  }
  void Reserve(uint32_t entries) {
    chains_.Reserve(entries);
    name_ids_.reserve(entries);
  }

  uint32_t bits() const { return chains_.bits(); }
  uint32_t bucket_count() const { return chains_.bucket_count(); }
  uint32_t used_buckets() const { return chains_.used_buckets(); }
  uint32_t Count() const { return static_cast<uint32_t>(name_ids_.size()); }
  int32_t Head(uint32_t bucket) const { return chains_.Head(bucket); }
  int32_t Next(uint32_t entry) const { return chains_.Next(entry); }
  uint32_t NameId(uint32_t entry) const { return name_ids_[entry]; }
  uint32_t BucketOf(std::string_view name) const { return chains_.BucketOf(name); }
  const NameChains& chains() const { return chains_; }

  // Appends an entry named by dictionary string `name_id` and links it into
  // its bucket in chain order; returns its number. No duplicate check.
  uint32_t Add(uint32_t name_id, const Dictionary& dictionary);
  // The first entry named `name` (letter case ignored), or -1.
  int32_t Find(std::string_view name, const Dictionary& dictionary) const;
  // The name of entry `entry` (empty when its id is not in the dictionary).
  std::string_view Name(uint32_t entry, const Dictionary& dictionary) const;

  // Reads the layout at the container's read position (inside "func").
  bool Read(TaggedFile& file);
  // Selects section `id`, reads the layout, then resets the selection
  // ("syst", "glbl").
  bool ReadSection(TaggedFile& file, uint32_t id);
  const std::string& ErrorText() const { return error_; }

  // The layout as bytes; false (ErrorText) when a bucket cannot be written.
  bool AppendTo(std::string* out);
  // Raw to a stream, or as section `id` of a container.
  bool Write(Stream& stream);
  bool WriteSection(TaggedFile& file, uint32_t id);

 private:
  NameChains chains_;
  std::vector<uint32_t> name_ids_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_IMAGE_VARIABLE_HASH_LAYOUT_H_
