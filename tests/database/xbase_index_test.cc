// Index files: their bytes read back by a small reader written here from
// the documented layout (not by the code under test), the B-tree kept in
// order through random inserts and deletes, key ordering rules, corrupt
// files, and a reader noticing another writer.
#include "database/xbase_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "xbase_fixture.h"

namespace orin {
namespace {

uint32_t U32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint16_t U16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
void SetU32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<char>(v >> (8 * i));
}

// The file as the layout tables describe it.
struct RawEntry {
  uint32_t left, record;
  std::string key;
};
struct RawPage {
  std::vector<RawEntry> entries;
  uint32_t right;
};
struct RawIndex {
  explicit RawIndex(std::string bytes) : b(std::move(bytes)) {}
  std::string b;
  uint32_t pages() const { return U32(b, 9); }
  uint32_t root() const { return U32(b, 13); }
  uint32_t counter() const { return U32(b, 5); }
  RawPage Page(uint32_t n) const {
    RawPage p;
    size_t base = static_cast<size_t>(n) * 1024;
    uint32_t count = U32(b, base);
    for (uint32_t i = 0; i < count; ++i) {
      size_t e = base + 4 + i * 108;
      p.entries.push_back({U32(b, e), U32(b, e + 4), std::string(b.c_str() + e + 8)});
    }
    p.right = U32(b, base + 4 + count * 108);
    return p;
  }
  // In-order (key, record) pairs; checks page limits and equal leaf depth.
  void Walk(uint32_t n, int depth, std::vector<std::pair<std::string, uint32_t>>* out,
            int* leaf_depth) const {
    ASSERT_LT(depth, 40);
    ASSERT_LT(n, pages());
    RawPage p = Page(n);
    ASSERT_LE(p.entries.size(), 8u);
    if (n != root()) {
      ASSERT_GE(p.entries.size(), 3u) << "page " << n << " underfull";
    }
    bool leaf = p.right == 0;
    if (leaf) {
      if (*leaf_depth < 0) *leaf_depth = depth;
      ASSERT_EQ(*leaf_depth, depth) << "leaves at different depths";
    }
    for (const RawEntry& e : p.entries) {
      ASSERT_EQ(e.left == 0, leaf);
      if (!leaf) Walk(e.left, depth + 1, out, leaf_depth);
      out->push_back({e.key, e.record});
    }
    if (!leaf) Walk(p.right, depth + 1, out, leaf_depth);
  }
  std::vector<std::pair<std::string, uint32_t>> All() const {
    std::vector<std::pair<std::string, uint32_t>> out;
    int leaf_depth = -1;
    Walk(root(), 0, &out, &leaf_depth);
    return out;
  }
};

class XBaseIndexTest : public XBaseTest {
 protected:
  RawIndex Raw(const std::string& name) const { return RawIndex(DataFile(name)); }
  // Records in index order through First/Next.
  static std::vector<uint32_t> Forward(XBaseIndex& index) {
    std::vector<uint32_t> out;
    uint32_t r = 0;
    EXPECT_TRUE(index.First(&r)) << index.error();
    while (r != 0 && out.size() < 100000) {
      out.push_back(r);
      EXPECT_TRUE(index.Next(&r)) << index.error();
    }
    return out;
  }
  static std::vector<uint32_t> Backward(XBaseIndex& index) {
    std::vector<uint32_t> out;
    uint32_t r = 0;
    EXPECT_TRUE(index.Last(&r)) << index.error();
    while (r != 0 && out.size() < 100000) {
      out.push_back(r);
      EXPECT_TRUE(index.Previous(&r)) << index.error();
    }
    return out;
  }
};

TEST_F(XBaseIndexTest, HeaderPagesAndSplitMatchTheLayout) {
  XBaseIndex index(&files_);
  ASSERT_TRUE(index.Create(kDataArea, "a.idx", "upper(name)", kIndexUnique | kIndexRange));
  std::string b = DataFile("a.idx");
  ASSERT_EQ(b.size(), 2048u);
  EXPECT_EQ(b.substr(0, 4), "PGSI");
  EXPECT_EQ(b[4], 3);
  EXPECT_EQ(U32(b, 5), 0u);
  EXPECT_EQ(U32(b, 9), 2u);
  EXPECT_EQ(U32(b, 13), 1u);
  EXPECT_EQ(U16(b, 17), 8u);
  EXPECT_EQ(U16(b, 19), 1024u);
  EXPECT_EQ(U16(b, 21), 108u);
  EXPECT_EQ(U32(b, 23), 9u);
  EXPECT_EQ(std::string(b.c_str() + 27), "upper(name)");
  EXPECT_EQ(b.substr(1024, 8), std::string(8, '\0'));  // no entries, no right subtree

  for (uint32_t i = 1; i <= 8; ++i)
    ASSERT_TRUE(index.Insert("k" + std::to_string(i), i * 10)) << index.error();
  RawIndex eight = Raw("a.idx");
  EXPECT_EQ(eight.pages(), 2u);
  EXPECT_EQ(eight.Page(1).entries.size(), 8u);
  // The ninth insert splits the root: two leaves and a new root page.
  ASSERT_TRUE(index.Insert("k9", 90));
  RawIndex nine = Raw("a.idx");
  EXPECT_EQ(nine.b.size(), 4u * 1024);
  EXPECT_EQ(nine.pages(), 4u);
  EXPECT_EQ(nine.root(), 3u);
  EXPECT_EQ(nine.counter(), 9u);
  RawPage root = nine.Page(3);
  ASSERT_EQ(root.entries.size(), 1u);
  EXPECT_EQ(root.entries[0].left, 1u);
  EXPECT_EQ(root.right, 2u);
  EXPECT_EQ(nine.Page(1).entries.size() + nine.Page(2).entries.size(), 8u);
  auto all = nine.All();
  ASSERT_EQ(all.size(), 9u);
  for (uint32_t i = 0; i < 9; ++i)
    EXPECT_EQ(all[i], std::make_pair("k" + std::to_string(i + 1), (i + 1) * 10));

  // A long key is cut to 99 bytes and terminated inside its entry.
  XBaseIndex longer(&files_);
  ASSERT_TRUE(longer.Create(kDataArea, "l.idx", "x", 0));
  ASSERT_TRUE(longer.Insert(std::string(150, 'x'), 7));
  std::string l = DataFile("l.idx");
  EXPECT_EQ(U32(l, 1024), 1u);
  EXPECT_EQ(U32(l, 1024 + 8), 7u);
  EXPECT_EQ(l.substr(1024 + 12, 99), std::string(99, 'x'));
  EXPECT_EQ(l[1024 + 12 + 99], '\0');
  uint32_t r = 0;
  bool matched = false;
  ASSERT_TRUE(longer.Find(std::string(150, 'x'), true, &r, &matched));
  EXPECT_EQ(r, 7u);
  EXPECT_TRUE(matched);
}

TEST_F(XBaseIndexTest, RandomInsertsAndDeletesKeepTheTreeInOrder) {
  XBaseIndex index(&files_);
  ASSERT_TRUE(index.Create(kDataArea, "r.idx", "k", kIndexString));
  std::multiset<std::pair<std::string, uint32_t>> model;
  std::mt19937 random(7);
  uint32_t next_record = 1;
  for (int round = 0; round < 6; ++round) {
    for (int i = 0; i < 400; ++i) {
      bool remove = !model.empty() && random() % 100 < (round % 2 ? 70 : 25);
      if (remove) {
        auto it = model.begin();
        std::advance(it, random() % model.size());
        ASSERT_TRUE(index.Delete(it->first, it->second)) << index.error();
        model.erase(it);
      } else {
        // Few distinct keys, so equal keys span pages.
        std::string key = "key" + std::to_string(random() % 60);
        ASSERT_TRUE(index.Insert(key, next_record)) << index.error();
        model.insert({key, next_record++});
      }
    }
    std::vector<std::pair<std::string, uint32_t>> expected(model.begin(), model.end());
    ASSERT_EQ(Raw("r.idx").All(), expected) << "round " << round;
    std::vector<uint32_t> records;
    for (const auto& e : expected)
      records.push_back(e.second);
    EXPECT_EQ(Forward(index), records);
    std::reverse(records.begin(), records.end());
    EXPECT_EQ(Backward(index), records);
  }
  // Deleting what is not there changes nothing.
  uint32_t before = Raw("r.idx").counter();
  EXPECT_FALSE(index.Delete("key1", 999999));
  EXPECT_EQ(index.error(), "Record is not in index");
  EXPECT_EQ(Raw("r.idx").counter(), before);
  // Emptied completely, the tree still answers.
  for (const auto& e : model)
    ASSERT_TRUE(index.Delete(e.first, e.second)) << index.error();
  EXPECT_TRUE(Raw("r.idx").All().empty());
  EXPECT_TRUE(Forward(index).empty());
}

TEST_F(XBaseIndexTest, KeyOrderFollowsTheFlags) {
  auto order = [&](uint32_t flags) {
    XBaseIndex index(&files_);
    EXPECT_TRUE(index.Create(kDataArea, "o.idx", "k", flags));
    const char* keys[] = {"10", " 9", "-2.5", "100", "abc", "-2.25"};
    for (uint32_t i = 0; i < 6; ++i)
      EXPECT_TRUE(index.Insert(keys[i], i + 1));
    return Forward(index);
  };
  // Numbers as numbers (right-aligned blanks allowed), others byte by byte.
  EXPECT_EQ(order(0), (std::vector<uint32_t>{3, 6, 2, 1, 4, 5}));
  EXPECT_EQ(order(kIndexString), (std::vector<uint32_t>{2, 6, 3, 1, 4, 5}));
  EXPECT_EQ(order(kIndexDescending), (std::vector<uint32_t>{5, 4, 1, 2, 6, 3}));

  XBaseIndex index(&files_);
  ASSERT_TRUE(index.Create(kDataArea, "u.idx", "k", kIndexUnique));
  ASSERT_TRUE(index.Insert("Smith", 1));
  ASSERT_TRUE(index.Insert("smith", 2));  // case matters
  uint32_t before = Raw("u.idx").counter();
  EXPECT_FALSE(index.Insert("Smith", 3));
  EXPECT_EQ(index.error(),
            "Index 'u.idx' was created with the UNIQUE flag and the key 'Smith' already exists in "
            "the index file");
  EXPECT_EQ(Raw("u.idx").counter(), before);
  EXPECT_EQ(Raw("u.idx").All().size(), 2u);

  uint32_t r = 0;
  bool matched = true;
  ASSERT_TRUE(index.Find("Smi", false, &r, &matched));
  EXPECT_EQ(r, 1u);
  EXPECT_TRUE(matched);
  ASSERT_TRUE(index.Find("Smi", true, &r, &matched));
  EXPECT_EQ(r, 1u);  // where it would go
  EXPECT_FALSE(matched);
  ASSERT_TRUE(index.Find("zz", false, &r, &matched));
  EXPECT_EQ(r, 0u);

  uint32_t flags = 0;
  std::string error;
  EXPECT_TRUE(ParseXBaseIndexFlags(" unique , Descending,string,RANGE,bogus", &flags, &error));
  EXPECT_EQ(flags, 15u);
  EXPECT_TRUE(ParseXBaseIndexFlags("nounique,ascending", &flags, &error));
  EXPECT_EQ(flags, 12u);
  EXPECT_FALSE(ParseXBaseIndexFlags("unique,,range", &flags, &error));
  EXPECT_EQ(error, "Dangling comma in field\tspecification");
}

TEST_F(XBaseIndexTest, CorruptFilesGiveMessages) {
  {
    XBaseIndex index(&files_);
    ASSERT_TRUE(index.Create(kDataArea, "c.idx", "k", 0));
    for (uint32_t i = 1; i <= 20; ++i)
      ASSERT_TRUE(index.Insert("k" + std::to_string(100 + i), i));
  }
  const std::string good = DataFile("c.idx");
  const uint32_t root = U32(good, 13);
  const size_t root_at = static_cast<size_t>(root) * 1024;
  auto try_all = [&](const std::string& bytes) {
    PutDataFile("c.idx", bytes);
    XBaseIndex index(&files_);
    if (!index.Open(kDataArea, "c.idx")) return index.error();
    uint32_t r = 0;
    bool m = false;
    if (!index.Find("k110", true, &r, &m)) return index.error();
    if (!index.Last(&r)) return index.error();
    for (int i = 0; i < 100 && r != 0; ++i)
      if (!index.Previous(&r)) return index.error();
    if (!index.Insert("k999", 99)) return index.error();
    if (!index.Delete("k101", 1)) return index.error();
    return std::string("no error");
  };
  EXPECT_EQ(try_all(good), "no error");

  std::string past = good;
  SetU32(past, root_at + 4, 500);  // the root's first subtree
  EXPECT_EQ(try_all(past),
            "Error 'c.idx' is corrupt (the page number is larger than the total pages )");

  std::string cycle = good;
  SetU32(cycle, root_at + 4, root);
  EXPECT_EQ(try_all(cycle), "Error reading from 'c.idx': File is corrupt");

  std::string crowded = good;
  SetU32(crowded, root_at, 9);
  EXPECT_EQ(try_all(crowded),
            "File is corrupt (the number of entries is larger than the maximum entries possible).");

  std::string magic = good;
  magic[0] = 'X';
  EXPECT_EQ(try_all(magic), "'c.idx' is either corrupt or is not a valid index file");
  std::string newer = good;
  newer[4] = 4;
  EXPECT_EQ(try_all(newer), "'c.idx' was created by a newer version of the software");
  std::string small_pages = good;
  small_pages[19] = 16;
  small_pages[20] = 0;
  EXPECT_EQ(try_all(small_pages), "'c.idx' is either corrupt or is not a valid index file");
  EXPECT_EQ(try_all(good.substr(0, 100)), "'c.idx' is either corrupt or is not a valid index file");
  std::string cut = good.substr(0, good.size() - 1024);  // the last page is gone
  EXPECT_NE(try_all(cut), "no error");
}

TEST_F(XBaseIndexTest, AReaderFollowsAnotherWritersChanges) {
  XBaseIndex writer(&files_);
  ASSERT_TRUE(writer.Create(kDataArea, "w.idx", "k", kIndexString));
  for (uint32_t i = 1; i <= 30; ++i)
    ASSERT_TRUE(writer.Insert("k" + std::to_string(100 + i), i));
  XBaseIndex reader(&files_);
  ASSERT_TRUE(reader.Open(kDataArea, "w.idx"));
  uint32_t r = 0;
  bool m = false;
  ASSERT_TRUE(reader.Find("k110", true, &r, &m));
  ASSERT_EQ(r, 10u);
  // Another object removes the current entry and its successor, and adds
  // keys around it: the walk continues from where the entry stood.
  ASSERT_TRUE(writer.Delete("k110", 10));
  ASSERT_TRUE(writer.Delete("k111", 11));
  for (uint32_t i = 0; i < 40; ++i)
    ASSERT_TRUE(writer.Insert("k0" + std::to_string(i), 100 + i));
  ASSERT_TRUE(reader.Next(&r)) << reader.error();
  EXPECT_EQ(r, 12u);
  ASSERT_TRUE(reader.Previous(&r));
  EXPECT_EQ(r, 9u);
  ASSERT_TRUE(writer.Delete("k109", 9));
  ASSERT_TRUE(reader.Previous(&r));
  EXPECT_EQ(r, 8u);
  EXPECT_TRUE(reader.Position("k120", 20));
  EXPECT_FALSE(reader.Position("k120", 21));
  EXPECT_EQ(reader.error(), "Record is not in index");
}

}  // namespace
}  // namespace orin
