// XBaseIndex: one index file beside an xBase table, a B-tree of (key,
// record number) entries in fixed-size pages (see docs/xbase.md for the
// byte layout). PGSIndexPageStack is the path from the root to the current
// entry, which gives positioned iteration and catches page cycles.
//
// Processes share an index file through byte-range locks on its header
// bytes: writers take them exclusively, readers shared. Every operation
// re-reads the header under the lock, so the root and page count are
// always the file's. A reader that keeps a position notices other writers
// through the modification counter and rebuilds its path.
//
// Entries are kept in (key, record number) order, so equal keys keep their
// records in ascending order and every entry has one place in the tree.
// The key itself is computed by the database (the index expression runs
// in the script machine); this class only stores and searches keys.
#ifndef ORIN_DATABASE_XBASE_INDEX_H_
#define ORIN_DATABASE_XBASE_INDEX_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "files/file_manager.h"

namespace orin {

class Segment;

enum XBaseIndexFlag : uint32_t {
  kIndexUnique = 1,
  kIndexDescending = 2,
  kIndexString = 4,
  kIndexRange = 8,
};

// Reads a comma-separated flag text (UNIQUE, NOUNIQUE, DESCENDING,
// ASCENDING, STRING, RANGE; any case, unknown words ignored). False with
// *error for an empty piece between commas.
bool ParseXBaseIndexFlags(std::string_view text, uint32_t* flags, std::string* error);

// One entry of a tree page.
struct XBaseIndexEntry {
  uint32_t left = 0;  // subtree left of the key, 0 in a leaf
  uint32_t record = 0;
  std::string key;
};

// A tree page as read from the file.
struct XBaseIndexPage {
  uint32_t number = 0;
  std::vector<XBaseIndexEntry> entries;
  uint32_t right = 0;  // subtree right of the last key
  bool leaf() const { return entries.empty() ? right == 0 : entries[0].left == 0; }
  // The subtree to the left of entry i (the right subtree when i == size).
  uint32_t child(size_t i) const { return i < entries.size() ? entries[i].left : right; }
  void set_child(size_t i, uint32_t page) {
    if (i < entries.size())
      entries[i].left = page;
    else
      right = page;
  }
};

// The pages from the root to the current entry and the position in each.
// A position equal to a page's entry count means its right subtree (or,
// at the top, past its last entry).
class PGSIndexPageStack {
 public:
  struct Level {
    XBaseIndexPage page;
    size_t position = 0;
  };
  void Clear() { levels_.clear(); }
  bool empty() const { return levels_.empty(); }
  size_t depth() const { return levels_.size(); }
  Level& top() { return levels_.back(); }
  Level& at(size_t i) { return levels_[i]; }
  void Push(XBaseIndexPage page, size_t position) {
    levels_.push_back({std::move(page), position});
  }
  void Pop() { levels_.pop_back(); }
  // Whether the page is already on the path (a cycle in a corrupt file).
  bool Contains(uint32_t page) const;

 private:
  std::vector<Level> levels_;
};

class XBaseIndex {
 public:
  static constexpr uint32_t kHeaderSize = 427;
  static constexpr uint32_t kExpressionSize = 400;
  static constexpr uint16_t kPageSize = 1024;
  static constexpr uint16_t kEntrySize = 108;
  static constexpr uint16_t kMaxEntries = 8;
  static constexpr uint8_t kVersion = 3;
  static constexpr size_t kCachedPages = 4096;

  explicit XBaseIndex(FileManager* files);
  ~XBaseIndex();
  XBaseIndex(const XBaseIndex&) = delete;
  XBaseIndex& operator=(const XBaseIndex&) = delete;

  // Creates (or truncates) the file: header and an empty root page 1.
  bool Create(int32_t area, std::string_view name, std::string_view expression, uint32_t flags);
  bool Open(int32_t area, std::string_view name);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  bool Insert(std::string_view key, uint32_t record);
  bool Delete(std::string_view key, uint32_t record);
  // The first entry whose key compares equal to `value` (the leading bytes
  // only when not exact) or else where it would go. *record 0 when no entry
  // is at or after that place.
  bool Find(std::string_view value, bool exact, uint32_t* record, bool* matched);
  // Walks the entries in order; *record 0 past either end.
  bool First(uint32_t* record);
  bool Last(uint32_t* record);
  bool Next(uint32_t* record);
  bool Previous(uint32_t* record);
  // Makes the entry (key, record) current; "Record is not in index" when
  // it is absent.
  bool Position(std::string_view key, uint32_t record);

  // Key comparison by the flags: < 0, 0, > 0. With `prefix` only the
  // leading bytes of `b` as long as `a` take part.
  int Compare(std::string_view a, std::string_view b, bool prefix) const;
  // A key as stored: cut to the key capacity less the terminator.
  std::string StoredKey(std::string_view key) const;

  // Whether the path stands on an entry, and that entry's key.
  bool positioned() const { return positioned_; }
  const std::string& current_key() const { return current_key_; }
  uint32_t current_record() const { return current_record_; }
  const std::string& file_name() const { return file_name_; }
  const std::string& expression() const { return expression_; }
  uint32_t flags() const { return flags_; }
  uint32_t modification_count() const { return counter_; }
  uint32_t page_count() const { return page_count_; }
  uint32_t root() const { return root_; }
  const std::string& error() const { return error_; }
  void SetError(std::string text) { error_ = std::move(text); }

  // The compiled index expression, kept by the database (null until used).
  Segment* segment = nullptr;

 private:
  class Lock;
  bool ReadHeader();
  bool WriteHeader();
  bool CheckHeader(const uint8_t* header);
  bool ReadPage(uint32_t number, XBaseIndexPage* page);
  bool WritePage(const XBaseIndexPage& page);
  uint32_t Capacity() const;
  // Orders (key, record) pairs.
  int CompareEntry(std::string_view key, uint32_t record, const XBaseIndexEntry& entry) const;
  // Descends from the root to the first entry not before the target (an
  // entry pair when `by_record`, else the value with the prefix rule).
  bool Descend(std::string_view value, uint32_t record, bool by_record, bool prefix);
  // From a path whose top position may be past its page's end, climbs to
  // the next entry; false (and an empty path) at the end.
  bool SettleForward();
  bool StepForward();
  bool StepBackward();
  bool DescendEdge(uint32_t page, bool leftmost);
  // The current entry (the path is settled on it).
  const XBaseIndexEntry& Current() { return path_.top().page.entries[path_.top().position]; }
  void Remember(uint32_t* record);
  // Re-reads the header and, when another writer changed the file since
  // the path was built, rebuilds it at the remembered entry.
  bool Revalidate(bool* moved);
  // Rebalancing after a delete, from the path's top page upward.
  bool Rebalance(std::vector<XBaseIndexPage>* changed);
  bool InsertLocked(std::string_view key, uint32_t record);
  bool DeleteLocked(std::string_view key, uint32_t record);
  bool Fail(std::string text);
  bool Corrupt();

  FileManager* files_;
  std::unique_ptr<File> file_;
  std::string file_name_;
  std::string expression_;
  std::string error_;
  uint32_t flags_ = 0;
  uint32_t counter_ = 0;
  uint32_t page_count_ = 0;
  uint32_t root_ = 0;
  uint16_t max_entries_ = kMaxEntries;
  uint16_t page_size_ = kPageSize;
  uint16_t entry_size_ = kEntrySize;

  // Pages as last read or written, valid while the modification counter
  // read under the lock still equals cache_counter_.
  std::unordered_map<uint32_t, XBaseIndexPage> cache_;
  uint32_t cache_counter_ = 0;

  PGSIndexPageStack path_;
  bool positioned_ = false;    // the path stands on an entry
  uint32_t path_counter_ = 0;  // the counter when the path was built
  std::string current_key_;    // the entry the path stands on
  uint32_t current_record_ = 0;
};

}  // namespace orin

#endif  // ORIN_DATABASE_XBASE_INDEX_H_
