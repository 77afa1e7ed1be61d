#include "image/dictionary.h"

#include <gtest/gtest.h>

#include "image/image_test_util.h"

namespace orin {
namespace {

using test::Bytes;
using test::MemoryFile;

// A "dict" section from (offset, size) entries and data.
std::string DictSection(const std::vector<std::pair<int32_t, uint32_t>>& entries,
                        std::string_view data, uint32_t flags = 0, int64_t data_size = -1) {
  Bytes b;
  b.U32(static_cast<uint32_t>(entries.size()))
      .U32(data_size < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(data_size))
      .U32(flags);
  for (auto [offset, size] : entries)
    b.U32(static_cast<uint32_t>(offset)).U32(size);
  return b.Str(data);
}

std::string LoadError(const std::string& section) {
  MemoryFile f({{"dict", section}});
  EXPECT_TRUE(f.ok());
  Dictionary d;
  EXPECT_FALSE(d.Load(*f));
  return d.ErrorText();
}

TEST(Dictionary, LoadsOverlappingStringsAndFlags) {
  MemoryFile f({{"dict", DictSection({{0, 5}, {6, 5}, {1, 3}, {11, 0}}, "Hello world!", 1)}});
  Dictionary d;
  ASSERT_TRUE(d.Load(*f)) << d.ErrorText();
  EXPECT_EQ(d.Count(), 4u);
  EXPECT_EQ(d.Flags(), 1u);
  EXPECT_EQ(d.View(0), "Hello");
  EXPECT_EQ(d.View(1), "world");
  EXPECT_EQ(d.View(2), "ell");
  bool found = false;
  EXPECT_EQ(d.View(3, &found), "");
  EXPECT_TRUE(found);
  uint32_t n = 99;
  EXPECT_EQ(d.Lookup(4, &n), nullptr);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(d.Lookup(-1, &n), nullptr);
  d.View(-5, &found);
  EXPECT_FALSE(found);
}

TEST(Dictionary, HeaderLimits) {
  EXPECT_EQ(LoadError(Bytes().U32(0x8000000).U32(0).U32(0)),
            "dictionary_header.entries out of range");
  EXPECT_EQ(LoadError(Bytes().U32(0).U32(2147475456u).U32(0)),
            "( dictionary_header.data_size / TF_DATA_BLOCK_SIZE ) + 1 out of range");
  // One byte less passes the block check and fails later, on the short data.
  std::string past = LoadError(Bytes().U32(0).U32(2147475455u).U32(0));
  EXPECT_NE(past, "( dictionary_header.data_size / TF_DATA_BLOCK_SIZE ) + 1 out of range");
  // A huge entry count on a short section fails without allocating for it.
  EXPECT_EQ(LoadError(Bytes().U32(0x7FFFFFF).U32(0).U32(0)), "Read past end of section boundary");
}

TEST(Dictionary, EntryBounds) {
  const char kOffset[] = "dictionary_entry.offset out of range";
  const char kEnd[] = "dictionary_entry.offset + dictionary_entry.size out of range";
  EXPECT_EQ(LoadError(DictSection({{3, 0}}, "abc")), kOffset);  // offset == data_size
  EXPECT_EQ(LoadError(DictSection({{-1, 1}}, "abc")), kOffset);
  EXPECT_EQ(LoadError(DictSection({{0, 0}}, "")), kOffset);  // entries need a data byte
  EXPECT_EQ(LoadError(DictSection({{1, 3}}, "abc")), kEnd);
  EXPECT_EQ(LoadError(DictSection({{1, 0xFFFFFFFF}}, "abc")), kEnd);
}

TEST(Dictionary, FailedLoadKeepsThePreviousStrings) {
  Dictionary d;
  d.Add("kept");
  MemoryFile f({{"dict", DictSection({{5, 1}}, "abc")}});
  EXPECT_FALSE(d.Load(*f));
  EXPECT_EQ(d.Count(), 1u);
  EXPECT_EQ(d.View(0), "kept");
  MemoryFile none(std::vector<test::Section>{{"xxxx", ""}});
  EXPECT_FALSE(d.Load(*none));
  EXPECT_EQ(d.ErrorText(), "Invalid section");
}

TEST(Dictionary, AddReusesBytesOfTheCurrentBlock) {
  Dictionary d;
  int32_t a = d.Add("Hello, world", -1);
  int32_t b = d.Add("Hello, world", -1);
  int32_t c = d.Add(std::string_view("world"));
  EXPECT_NE(a, b);
  uint32_t n;
  const char* pa = d.Lookup(a, &n);
  EXPECT_EQ(d.Lookup(b, &n), pa);
  EXPECT_EQ(d.Lookup(c, &n), pa + 7);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(d.BlockCount(), 1u);
  // NUL bytes are data.
  int32_t z = d.Add("x\0y", 3);
  EXPECT_EQ(d.View(z), std::string_view("x\0y", 3));
}

TEST(Dictionary, NewBlockWhenFullAndOnlyTheCurrentBlockIsSearched) {
  Dictionary d;
  int32_t first = d.Add("needle");
  std::string filler(8190, 'f');
  d.Add(filler);  // 8196 bytes do not fit 8192: a second block
  EXPECT_EQ(d.BlockCount(), 2u);
  uint32_t n;
  const char* old = d.Lookup(first, &n);
  int32_t again = d.Add("needle");
  EXPECT_NE(d.Lookup(again, &n), old);  // not reused: it is in the old block
  EXPECT_EQ(d.BlockCount(), 3u);        // and 2 bytes left in block 2 are too few
  std::string big(20000, 'b');
  int32_t large = d.Add(big);
  EXPECT_EQ(d.BlockCount(), 4u);
  EXPECT_EQ(d.View(large), big);
  // Bytes handed out earlier never moved.
  EXPECT_EQ(d.Lookup(first, &n), old);
  EXPECT_EQ(d.View(first), "needle");
}

// Writes `d` into a compiled file in memory and loads it back into `back`.
void WriteAndLoad(const Dictionary& d, Dictionary* back) {
  MemoryStream stream;
  TaggedFile w;
  ASSERT_TRUE(w.Create("d", &stream));
  ASSERT_TRUE(d.Write(w));
  ASSERT_TRUE(w.Finish());
  TaggedFile r;
  ASSERT_TRUE(r.Attach("d", &stream));
  ASSERT_TRUE(back->Load(r)) << back->ErrorText();
}

TEST(Dictionary, WriteThenLoadGivesTheSameStrings) {
  Dictionary d;
  d.SetFlags(5);
  d.Add("alpha");
  d.Add(std::string(9000, 'z'));
  d.Add("");
  d.Add("pha");
  Dictionary back;
  WriteAndLoad(d, &back);
  ASSERT_EQ(back.Count(), 4u);
  EXPECT_EQ(back.Flags(), 5u);
  for (int32_t i = 0; i < 4; ++i)
    EXPECT_EQ(back.View(i), d.View(i)) << i;
  // A copy is independent of its source.
  Dictionary copy(back);
  back.Add("later");
  EXPECT_EQ(copy.Count(), 4u);
  EXPECT_EQ(copy.View(1), d.View(1));

  // Only empty strings: no bytes at all, still two entries.
  Dictionary empty;
  empty.Add("");
  empty.Add("");
  Dictionary empty_back;
  WriteAndLoad(empty, &empty_back);
  EXPECT_EQ(empty_back.Count(), 2u);
  EXPECT_EQ(empty_back.View(1), "");
}

}  // namespace
}  // namespace orin
