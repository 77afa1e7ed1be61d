#include "database/xbase_index.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "image/byte_order.h"
#include "util/ascii.h"

namespace orin {

namespace {

// A decimal number split for comparison: sign, integer digits without
// leading zeros, fraction digits without trailing zeros.
struct Decimal {
  bool negative = false;
  std::string_view whole;
  std::string_view fraction;
};

// Numeric fields are stored right-aligned, so blanks around the digits
// are allowed.
bool ReadDecimal(std::string_view text, Decimal* out) {
  text = TrimBlanks(text);
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    out->negative = text[0] == '-';
    text.remove_prefix(1);
  }
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return false;
  for (char c : whole)
    if (c < '0' || c > '9') return false;
  for (char c : fraction)
    if (c < '0' || c > '9') return false;
  while (!whole.empty() && whole.front() == '0')
    whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0')
    fraction.remove_suffix(1);
  out->whole = whole;
  out->fraction = fraction;
  if (whole.empty() && fraction.empty()) out->negative = false;  // -0 is 0
  return true;
}

int Sign(int value) {
  return value < 0 ? -1 : value > 0 ? 1 : 0;
}

int CompareMagnitude(const Decimal& a, const Decimal& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  int c = a.whole.compare(b.whole);
  if (c != 0) return Sign(c);
  return Sign(a.fraction.compare(b.fraction));
}

int CompareDecimal(const Decimal& a, const Decimal& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int c = CompareMagnitude(a, b);
  return a.negative ? -c : c;
}

int CompareBytes(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return Sign(c);
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

bool ParseXBaseIndexFlags(std::string_view text, uint32_t* flags, std::string* error) {
  if (TrimBlanks(text).empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string_view word = TrimBlanks(text.substr(start, comma - start));
    if (word.empty()) {
      *error = "Dangling comma in field\tspecification";
      return false;
    }
    if (EqualsIgnoringCase(word, "UNIQUE")) *flags |= kIndexUnique;
    if (EqualsIgnoringCase(word, "NOUNIQUE")) *flags &= ~kIndexUnique;
    if (EqualsIgnoringCase(word, "DESCENDING")) *flags |= kIndexDescending;
    if (EqualsIgnoringCase(word, "ASCENDING")) *flags &= ~kIndexDescending;
    if (EqualsIgnoringCase(word, "STRING")) *flags |= kIndexString;
    if (EqualsIgnoringCase(word, "RANGE")) *flags |= kIndexRange;
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

bool PGSIndexPageStack::Contains(uint32_t page) const {
  for (const Level& level : levels_)
    if (level.page.number == page) return true;
  return false;
}

// Holds the header lock for one operation and releases it on every path.
class XBaseIndex::Lock {
 public:
  Lock(XBaseIndex* index, bool exclusive) : index_(index) {
    held_ = index->file_->LockRegion(0, kHeaderSize, exclusive, true);
    if (!held_) {
      index->Fail("Error locking '" + index->file_name_ +
                  (exclusive ? "' for write: " : "' for read: ") + index->file_->ErrorText());
    }
  }
  ~Lock() {
    if (held_) index_->file_->UnlockRegion(0, kHeaderSize);
  }
  bool held() const { return held_; }

 private:
  XBaseIndex* index_;
  bool held_;
};

XBaseIndex::XBaseIndex(FileManager* files) : files_(files) {}

XBaseIndex::~XBaseIndex() {
  Close();
}

void XBaseIndex::Close() {
  file_.reset();
  cache_.clear();
  path_.Clear();
  positioned_ = false;
}

bool XBaseIndex::Fail(std::string text) {
  error_ = std::move(text);
  return false;
}

bool XBaseIndex::Corrupt() {
  return Fail("Error reading from '" + file_name_ + "': File is corrupt");
}

uint32_t XBaseIndex::Capacity() const {
  // Room for the count, the entries and the last right subtree.
  return std::min<uint32_t>(max_entries_, (page_size_ - 8u) / entry_size_);
}

std::string XBaseIndex::StoredKey(std::string_view key) const {
  size_t capacity = static_cast<size_t>(entry_size_) - 9;  // less the terminator
  key = key.substr(0, std::min(key.size(), capacity));
  size_t nul = key.find('\0');
  return std::string(key.substr(0, nul));
}

int XBaseIndex::Compare(std::string_view a, std::string_view b, bool prefix) const {
  if (prefix) b = b.substr(0, std::min(a.size(), b.size()));
  int c;
  Decimal x, y;
  if (!(flags_ & kIndexString) && ReadDecimal(a, &x) && ReadDecimal(b, &y)) {
    c = CompareDecimal(x, y);
  } else {
    c = CompareBytes(a, b);
  }
  return (flags_ & kIndexDescending) ? -c : c;
}

int XBaseIndex::CompareEntry(std::string_view key, uint32_t record,
                             const XBaseIndexEntry& entry) const {
  int c = Compare(key, entry.key, false);
  if (c != 0) return c;
  return record < entry.record ? -1 : record > entry.record ? 1 : 0;
}

// --- header ---

bool XBaseIndex::CheckHeader(const uint8_t* h) {
  if (std::memcmp(h, "PGSI", 4) != 0) {
    return Fail("'" + file_name_ + "' is either corrupt or is not a valid index file");
  }
  if (h[4] >= 4) return Fail("'" + file_name_ + "' was created by a newer version of the software");
  uint32_t pages = GetLE32(h + 9);
  uint32_t root = GetLE32(h + 13);
  uint16_t max = GetLE16(h + 17);
  uint16_t page_size = GetLE16(h + 19);
  uint16_t entry_size = GetLE16(h + 21);
  // The tree needs at least three entries a page to split and merge.
  bool sane = pages >= 2 && root >= 1 && root < pages && entry_size >= 9 && max >= 3 &&
              page_size >= 8 + 3u * entry_size;
  if (!sane) return Fail("'" + file_name_ + "' is either corrupt or is not a valid index file");
  counter_ = GetLE32(h + 5);
  page_count_ = pages;
  root_ = root;
  max_entries_ = max;
  page_size_ = page_size;
  entry_size_ = entry_size;
  flags_ = GetLE32(h + 23);
  const char* text = reinterpret_cast<const char*>(h + 27);
  expression_.assign(text, strnlen(text, kExpressionSize));
  return true;
}

bool XBaseIndex::ReadHeader() {
  uint8_t header[kHeaderSize];
  int32_t got = file_->ReadAt(0, header, kHeaderSize);
  if (got < 0) return Fail("Error reading from '" + file_name_ + "': " + file_->ErrorText());
  if (got != static_cast<int32_t>(kHeaderSize)) {
    return Fail("'" + file_name_ + "' is either corrupt or is not a valid index file");
  }
  return CheckHeader(header);
}

bool XBaseIndex::WriteHeader() {
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, "PGSI", 4);
  h[4] = kVersion;
  PutLE32(h + 5, counter_);
  PutLE32(h + 9, page_count_);
  PutLE32(h + 13, root_);
  PutLE16(h + 17, max_entries_);
  PutLE16(h + 19, page_size_);
  PutLE16(h + 21, entry_size_);
  PutLE32(h + 23, flags_);
  std::memcpy(h + 27, expression_.data(),
              std::min<size_t>(expression_.size(), kExpressionSize - 1));
  if (file_->WriteAt(0, h, kHeaderSize) != static_cast<int32_t>(kHeaderSize)) {
    return Fail("Error writing to '" + file_name_ + "': " + file_->ErrorText());
  }
  return true;
}

bool XBaseIndex::Create(int32_t area, std::string_view name, std::string_view expression,
                        uint32_t flags) {
  Close();
  file_name_.assign(name);
  file_ = files_->Open(area, name, kOpenRead | kOpenWrite | kOpenCreate | kOpenTruncate);
  if (file_ == nullptr) return Fail("Error creating '" + file_name_ + "': " + files_->ErrorText());
  expression_.assign(
      expression.substr(0, std::min<size_t>(expression.size(), kExpressionSize - 1)));
  flags_ = flags;
  counter_ = 0;
  page_count_ = 2;
  root_ = 1;
  max_entries_ = kMaxEntries;
  page_size_ = kPageSize;
  entry_size_ = kEntrySize;
  Lock lock(this, true);
  if (!lock.held()) return false;
  std::vector<uint8_t> zero(page_size_, 0);
  if (file_->WriteAt(0, zero.data(), page_size_) != page_size_) {
    return Fail("Error writing to '" + file_name_ + "': " + file_->ErrorText());
  }
  XBaseIndexPage root;
  root.number = 1;
  return WriteHeader() && WritePage(root);
}

bool XBaseIndex::Open(int32_t area, std::string_view name) {
  Close();
  file_name_.assign(name);
  file_ = files_->Open(area, name, kOpenRead | kOpenWrite | kOpenMustExist);
  if (file_ == nullptr) return Fail("Error opening '" + file_name_ + "': " + files_->ErrorText());
  bool ok;
  {
    Lock lock(this, false);
    ok = lock.held() && ReadHeader();
  }
  if (!ok) file_.reset();
  return ok;
}

// --- pages ---

bool XBaseIndex::ReadPage(uint32_t number, XBaseIndexPage* page) {
  if (number == 0 || number >= page_count_) {
    return Fail("Error '" + file_name_ + "' is corrupt " + file_->ErrorText() +
                "(the page number is larger than the total pages )");
  }
  if (cache_counter_ != counter_) {
    cache_.clear();
    cache_counter_ = counter_;
  }
  if (auto hit = cache_.find(number); hit != cache_.end()) {
    *page = hit->second;
    return true;
  }
  std::vector<uint8_t> bytes(page_size_);
  int32_t got = file_->ReadAt(static_cast<int64_t>(number) * page_size_, bytes.data(), page_size_);
  if (got < 0) return Fail("Error reading from '" + file_name_ + "': " + file_->ErrorText());
  if (got != page_size_) return Corrupt();
  uint32_t n = GetLE32(bytes.data());
  if (n > Capacity()) {
    return Fail(
        "File is corrupt (the number of entries is larger than the maximum entries possible).");
  }
  page->number = number;
  page->entries.resize(n);
  const size_t key_room = static_cast<size_t>(entry_size_) - 8;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* e = bytes.data() + 4 + static_cast<size_t>(i) * entry_size_;
    page->entries[i].left = GetLE32(e);
    page->entries[i].record = GetLE32(e + 4);
    const char* key = reinterpret_cast<const char*>(e + 8);
    page->entries[i].key.assign(key, strnlen(key, key_room - 1));
  }
  page->right = GetLE32(bytes.data() + 4 + static_cast<size_t>(n) * entry_size_);
  if (cache_.size() >= kCachedPages) cache_.clear();
  cache_[number] = *page;
  return true;
}

bool XBaseIndex::WritePage(const XBaseIndexPage& page) {
  std::vector<uint8_t> bytes(page_size_, 0);
  uint32_t n = static_cast<uint32_t>(page.entries.size());
  if (n > Capacity()) return Corrupt();
  PutLE32(bytes.data(), n);
  const size_t key_room = static_cast<size_t>(entry_size_) - 8;
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* e = bytes.data() + 4 + static_cast<size_t>(i) * entry_size_;
    const XBaseIndexEntry& entry = page.entries[i];
    PutLE32(e, entry.left);
    PutLE32(e + 4, entry.record);
    std::memcpy(e + 8, entry.key.data(), std::min(entry.key.size(), key_room - 1));
  }
  PutLE32(bytes.data() + 4 + static_cast<size_t>(n) * entry_size_, page.right);
  int64_t offset = static_cast<int64_t>(page.number) * page_size_;
  if (file_->WriteAt(offset, bytes.data(), page_size_) != page_size_) {
    cache_.clear();
    return Fail("Error writing to '" + file_name_ + "': " + file_->ErrorText());
  }
  if (cache_.size() >= kCachedPages) cache_.clear();
  cache_[page.number] = page;
  return true;
}

// --- the path ---

bool XBaseIndex::Descend(std::string_view value, uint32_t record, bool by_record, bool prefix) {
  path_.Clear();
  positioned_ = false;
  uint32_t number = root_;
  while (true) {
    if (path_.Contains(number)) return Corrupt();
    XBaseIndexPage page;
    if (!ReadPage(number, &page)) return false;
    // The first entry not before the target.
    size_t lo = 0, hi = page.entries.size();
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      int c = by_record ? CompareEntry(value, record, page.entries[mid])
                        : Compare(value, page.entries[mid].key, prefix);
      if (c > 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    uint32_t child = page.child(lo);
    path_.Push(std::move(page), lo);
    if (child == 0) return true;
    number = child;
  }
}

bool XBaseIndex::DescendEdge(uint32_t number, bool leftmost) {
  while (true) {
    if (path_.Contains(number)) return Corrupt();
    XBaseIndexPage page;
    if (!ReadPage(number, &page)) return false;
    size_t position = leftmost ? 0 : page.entries.size();
    uint32_t child = page.child(position);
    path_.Push(std::move(page), position);
    if (child == 0) return true;
    number = child;
  }
}

bool XBaseIndex::SettleForward() {
  while (!path_.empty() && path_.top().position >= path_.top().page.entries.size())
    path_.Pop();
  return !path_.empty();
}

// Moves to the entry before the position on top of the path.
static bool SettleBackward(PGSIndexPageStack* path) {
  while (!path->empty() && path->top().position == 0)
    path->Pop();
  if (path->empty()) return false;
  --path->top().position;
  return true;
}

bool XBaseIndex::StepForward() {
  PGSIndexPageStack::Level& level = path_.top();
  ++level.position;
  uint32_t child = level.page.child(level.position);
  if (child != 0 && !DescendEdge(child, true)) return false;
  SettleForward();
  return true;
}

bool XBaseIndex::StepBackward() {
  PGSIndexPageStack::Level& level = path_.top();
  uint32_t child = level.page.child(level.position);
  if (child != 0 && !DescendEdge(child, false)) return false;
  SettleBackward(&path_);
  return true;
}

void XBaseIndex::Remember(uint32_t* record) {
  positioned_ = !path_.empty();
  path_counter_ = counter_;
  if (!positioned_) {
    *record = 0;
    return;
  }
  const XBaseIndexEntry& entry = Current();
  current_key_ = entry.key;
  current_record_ = entry.record;
  *record = entry.record;
}

bool XBaseIndex::Revalidate(bool* moved) {
  *moved = false;
  if (!ReadHeader()) return false;
  if (counter_ == path_counter_) return true;
  if (!Descend(current_key_, current_record_, true, false)) return false;
  if (!SettleForward()) {
    *moved = true;  // the entry and everything after it are gone
    return true;
  }
  const XBaseIndexEntry& entry = Current();
  *moved = !(entry.record == current_record_ && entry.key == current_key_);
  return true;
}

// --- searching and walking ---

bool XBaseIndex::Find(std::string_view value, bool exact, uint32_t* record, bool* matched) {
  *record = 0;
  *matched = false;
  if (!IsOpen()) return Fail("The index is not open");
  Lock lock(this, false);
  if (!lock.held() || !ReadHeader()) return false;
  std::string target = StoredKey(value);
  if (!Descend(target, 0, false, !exact)) return false;
  SettleForward();
  Remember(record);
  if (positioned_) *matched = Compare(target, current_key_, !exact) == 0;
  return true;
}

bool XBaseIndex::First(uint32_t* record) {
  *record = 0;
  if (!IsOpen()) return Fail("The index is not open");
  Lock lock(this, false);
  if (!lock.held() || !ReadHeader()) return false;
  path_.Clear();
  if (!DescendEdge(root_, true)) return false;
  SettleForward();
  Remember(record);
  return true;
}

bool XBaseIndex::Last(uint32_t* record) {
  *record = 0;
  if (!IsOpen()) return Fail("The index is not open");
  Lock lock(this, false);
  if (!lock.held() || !ReadHeader()) return false;
  path_.Clear();
  if (!DescendEdge(root_, false)) return false;
  SettleBackward(&path_);
  Remember(record);
  return true;
}

bool XBaseIndex::Next(uint32_t* record) {
  *record = 0;
  if (!IsOpen()) return Fail("The index is not open");
  if (!positioned_) return true;
  Lock lock(this, false);
  bool moved = false;
  if (!lock.held() || !Revalidate(&moved)) return false;
  // When the current entry went away the path already stands on the next.
  if (!moved && !path_.empty() && !StepForward()) return false;
  Remember(record);
  return true;
}

bool XBaseIndex::Previous(uint32_t* record) {
  *record = 0;
  if (!IsOpen()) return Fail("The index is not open");
  if (!positioned_) return true;
  Lock lock(this, false);
  bool moved = false;
  if (!lock.held() || !Revalidate(&moved)) return false;
  if (moved && path_.empty()) {
    path_.Clear();
    if (!DescendEdge(root_, false)) return false;
    SettleBackward(&path_);
  } else if (moved) {
    if (!StepBackward()) return false;
  } else if (!StepBackward()) {
    return false;
  }
  Remember(record);
  return true;
}

bool XBaseIndex::Position(std::string_view key, uint32_t record) {
  if (!IsOpen()) return Fail("The index is not open");
  Lock lock(this, false);
  if (!lock.held() || !ReadHeader()) return false;
  std::string target = StoredKey(key);
  if (!Descend(target, record, true, false)) return false;
  uint32_t found = 0;
  SettleForward();
  Remember(&found);
  if (!positioned_ || current_record_ != record || current_key_ != target) {
    positioned_ = false;
    return Fail("Record is not in index");
  }
  return true;
}

// --- changes ---

bool XBaseIndex::Insert(std::string_view key, uint32_t record) {
  if (!IsOpen()) return Fail("The index is not open");
  bool ok;
  {
    Lock lock(this, true);
    ok = lock.held() && ReadHeader() && InsertLocked(StoredKey(key), record);
  }
  positioned_ = false;
  return ok;
}

bool XBaseIndex::InsertLocked(std::string_view key, uint32_t record) {
  if (flags_ & kIndexUnique) {
    if (!Descend(key, 0, false, false)) return false;
    if (SettleForward() && Compare(key, Current().key, false) == 0) {
      return Fail("Index '" + file_name_ + "' was created with the UNIQUE flag and the key '" +
                  std::string(key) + "' already exists in the index file");
    }
  }
  if (!Descend(key, record, true, false)) return false;
  std::vector<XBaseIndexPage> changed;
  {
    PGSIndexPageStack::Level& leaf = path_.top();
    XBaseIndexEntry entry{0, record, std::string(key)};
    leaf.page.entries.insert(leaf.page.entries.begin() + static_cast<ptrdiff_t>(leaf.position),
                             std::move(entry));
  }
  // Split full pages from the leaf upward.
  for (size_t level = path_.depth(); level-- > 0;) {
    XBaseIndexPage& page = path_.at(level).page;
    if (page.entries.size() <= Capacity()) {
      changed.push_back(page);
      break;
    }
    size_t middle = page.entries.size() / 2;
    XBaseIndexPage upper;
    upper.number = page_count_++;
    upper.entries.assign(page.entries.begin() + static_cast<ptrdiff_t>(middle) + 1,
                         page.entries.end());
    upper.right = page.right;
    XBaseIndexEntry up = page.entries[middle];
    page.right = up.left;
    page.entries.resize(middle);
    up.left = page.number;
    changed.push_back(page);
    changed.push_back(upper);
    if (level == 0) {
      XBaseIndexPage root;
      root.number = page_count_++;
      root.entries.push_back(std::move(up));
      root.right = upper.number;
      root_ = root.number;
      changed.push_back(std::move(root));
      break;
    }
    PGSIndexPageStack::Level& parent = path_.at(level - 1);
    parent.page.entries.insert(
        parent.page.entries.begin() + static_cast<ptrdiff_t>(parent.position), std::move(up));
    parent.page.set_child(parent.position + 1, upper.number);
  }
  for (const XBaseIndexPage& page : changed)
    if (!WritePage(page)) return false;
  // The cache holds what was just written: it stays valid.
  if (cache_counter_ == counter_) ++cache_counter_;
  ++counter_;
  return WriteHeader();
}

bool XBaseIndex::Delete(std::string_view key, uint32_t record) {
  if (!IsOpen()) return Fail("The index is not open");
  bool ok;
  {
    Lock lock(this, true);
    ok = lock.held() && ReadHeader() && DeleteLocked(StoredKey(key), record);
  }
  positioned_ = false;
  return ok;
}

bool XBaseIndex::DeleteLocked(std::string_view key, uint32_t record) {
  if (!Descend(key, record, true, false)) return false;
  if (!SettleForward() || Current().record != record || Current().key != key) {
    return Fail("Record is not in index");
  }
  PGSIndexPageStack::Level& found = path_.top();
  size_t found_level = path_.depth() - 1;
  uint32_t child = found.page.child(found.position);
  if (child == 0) {
    found.page.entries.erase(found.page.entries.begin() + static_cast<ptrdiff_t>(found.position));
  } else {
    // An inner entry takes its predecessor's place, which leaves a leaf.
    if (!DescendEdge(child, false)) return false;
    PGSIndexPageStack::Level& leaf = path_.top();
    if (leaf.page.entries.empty()) return Corrupt();
    XBaseIndexEntry& inner = path_.at(found_level).page.entries[path_.at(found_level).position];
    inner.key = leaf.page.entries.back().key;
    inner.record = leaf.page.entries.back().record;
    leaf.page.entries.pop_back();
    leaf.position = leaf.page.entries.size();
  }
  std::vector<XBaseIndexPage> changed;
  if (!Rebalance(&changed)) return false;
  for (size_t i = 0; i < path_.depth(); ++i)
    changed.push_back(path_.at(i).page);
  for (const XBaseIndexPage& page : changed)
    if (!WritePage(page)) return false;
  // The cache holds what was just written: it stays valid.
  if (cache_counter_ == counter_) ++cache_counter_;
  ++counter_;
  return WriteHeader();
}

bool XBaseIndex::Rebalance(std::vector<XBaseIndexPage>* changed) {
  const size_t minimum = max_entries_ / 2 - 1;
  for (size_t level = path_.depth() - 1; level > 0; --level) {
    XBaseIndexPage& page = path_.at(level).page;
    if (page.entries.size() >= minimum) break;
    XBaseIndexPage& parent = path_.at(level - 1).page;
    size_t j = path_.at(level - 1).position;
    if (j > parent.entries.size()) return Corrupt();
    XBaseIndexPage left, right;
    bool has_left = j > 0, has_right = j < parent.entries.size();
    if (has_left) {
      uint32_t number = parent.child(j - 1);
      if (path_.Contains(number)) return Corrupt();
      if (!ReadPage(number, &left)) return false;
    }
    if (has_right) {
      uint32_t number = parent.child(j + 1);
      if (path_.Contains(number)) return Corrupt();
      if (!ReadPage(number, &right)) return false;
    }
    if (has_left && left.entries.size() > minimum) {
      XBaseIndexEntry& separator = parent.entries[j - 1];
      page.entries.insert(page.entries.begin(), {left.right, separator.record, separator.key});
      left.right = left.entries.back().left;
      separator.key = left.entries.back().key;
      separator.record = left.entries.back().record;
      left.entries.pop_back();
      changed->push_back(std::move(left));
      break;
    }
    if (has_right && right.entries.size() > minimum) {
      XBaseIndexEntry& separator = parent.entries[j];
      page.entries.push_back({page.right, separator.record, separator.key});
      page.right = right.entries.front().left;
      separator.key = right.entries.front().key;
      separator.record = right.entries.front().record;
      right.entries.erase(right.entries.begin());
      changed->push_back(std::move(right));
      break;
    }
    // Merge with a neighbour; the parent loses the separator. The emptied
    // page is left unused.
    XBaseIndexPage* low = has_left ? &left : &page;
    XBaseIndexPage* high = has_left ? &page : &right;
    if (!has_left && !has_right) return Corrupt();
    size_t s = has_left ? j - 1 : j;
    low->entries.push_back({low->right, parent.entries[s].record, parent.entries[s].key});
    low->entries.insert(low->entries.end(), high->entries.begin(), high->entries.end());
    low->right = high->right;
    if (low->entries.size() > Capacity()) return Corrupt();
    parent.entries.erase(parent.entries.begin() + static_cast<ptrdiff_t>(s));
    parent.set_child(s, low->number);
    high->entries.clear();
    high->right = 0;
    if (has_left) {
      page = left;  // the merged page stays on the path in its place
    } else {
      changed->push_back(right);
    }
  }
  XBaseIndexPage& root = path_.at(0).page;
  if (root.entries.empty() && root.right != 0) root_ = root.right;
  return true;
}

}  // namespace orin
