#include "image/variable_hash_layout.h"

#include <gtest/gtest.h>

#include "image/dictionary.h"
#include "image/image_test_util.h"
#include "util/lookup2.h"

namespace orin {
namespace {

using test::Bytes;
using test::DictOf;
using test::MemoryFile;

constexpr uint32_t kEnd = 0xFFFFFFFF;

std::string ReadError(const std::string& glbl) {
  MemoryFile f({{"glbl", glbl}});
  VariableHashLayout layout;
  EXPECT_FALSE(layout.ReadSection(*f, SectionId("glbl")));
  return layout.ErrorText();
}

TEST(VariableHashLayout, ReadMessages) {
  EXPECT_EQ(ReadError(Bytes().Hashed(0, 33, 0)), "variable_hash_header.bucket_bits out of range");
  EXPECT_EQ(ReadError(Bytes().Hashed(0, 29, 0)), "read_bucket_size out of range");
  EXPECT_EQ(ReadError(Bytes().Hashed(0, 2, 0x8000000)),
            "variable_hash_header.variable_count out of range");
  EXPECT_EQ(ReadError(Bytes().Hashed(-2, 2, 0)),
            "variable_hash_header.bucket_entries out of range");
  EXPECT_EQ(ReadError(Bytes().Hashed(1, 2, 0).U16(4).U32(0)),
            "variable_hash_bucket.index out of range");
  EXPECT_EQ(ReadError(Bytes().Hashed(0, 2, 2).U32(0).U32(kEnd)),
            "Read past end of section boundary");
  EXPECT_EQ(ReadError(Bytes().U16(0)), "Read past end of section boundary");
}

TEST(VariableHashLayout, ReadsTheFileLayoutAndResetsTheSelection) {
  // Slots: 0 "b", 1 "a"; bucket 0 holds a then b.
  std::string glbl = Bytes().Hashed(1, 0, 2).U16(0).U32(1).U32(1).U32(kEnd).U32(0).U32(0);
  MemoryFile f({{"dict", DictOf({"a", "b"})}, {"glbl", glbl}});
  Dictionary d;
  ASSERT_TRUE(d.Load(*f));
  VariableHashLayout layout;
  ASSERT_TRUE(layout.ReadSection(*f, SectionId("glbl"))) << layout.ErrorText();
  EXPECT_EQ(f->SectionSize(), 0u);  // no section selected afterwards
  EXPECT_EQ(layout.Count(), 2u);
  EXPECT_EQ(layout.used_buckets(), 1u);
  EXPECT_EQ(layout.Head(0), 1);
  EXPECT_EQ(layout.Next(1), 0);
  EXPECT_EQ(layout.Next(0), -1);
  EXPECT_EQ(layout.NameId(0), 1u);
  EXPECT_EQ(layout.Find("B", d), 0);
  EXPECT_EQ(layout.Find("A", d), 1);
  EXPECT_EQ(layout.Find("c", d), -1);
}

TEST(VariableHashLayout, AddHashesLowerCasedNamesAndKeepsChainOrder) {
  Dictionary d;
  VariableHashLayout layout(4);
  uint32_t total = layout.Add(static_cast<uint32_t>(d.Add("Total")), d);
  EXPECT_EQ(total, 0u);
  EXPECT_EQ(layout.Head(Lookup2Lower("total") & 15), 0);
  EXPECT_EQ(layout.Find("TOTAL", d), 0);
  EXPECT_EQ(layout.Find("total", d), 0);

  VariableHashLayout one(0);
  for (const char* n : {"zz", "b", "a"})
    one.Add(static_cast<uint32_t>(d.Add(n)), d);
  std::vector<std::string> order;
  for (int32_t e = one.Head(0); e >= 0; e = one.Next(e))
    order.emplace_back(one.Name(e, d));
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "zz"}));
  EXPECT_EQ(one.used_buckets(), 1u);
}

TEST(VariableHashLayout, WriteToAStreamAndAsASectionRoundTrips) {
  Dictionary d;
  VariableHashLayout layout(3);
  for (const char* n : {"query_string", "x", "y", "server_name", "X2"}) {
    layout.Add(static_cast<uint32_t>(d.Add(n)), d);
  }
  MemoryStream raw;
  ASSERT_TRUE(layout.Write(raw));
  MemoryStream stream;
  TaggedFile w;
  ASSERT_TRUE(w.Create("v", &stream));
  ASSERT_TRUE(layout.WriteSection(w, SectionId("syst")));
  ASSERT_TRUE(w.Finish());
  TaggedFile r;
  ASSERT_TRUE(r.Attach("v", &stream));
  ASSERT_EQ(r.directory().size(), 1u);
  EXPECT_EQ(stream.bytes().substr(32, r.directory()[0].size), raw.bytes());
  VariableHashLayout back;
  ASSERT_TRUE(back.ReadSection(r, SectionId("syst")));
  ASSERT_EQ(back.Count(), layout.Count());
  EXPECT_EQ(back.bits(), 3u);
  EXPECT_EQ(back.used_buckets(), layout.used_buckets());
  for (uint32_t b = 0; b < 8; ++b)
    EXPECT_EQ(back.Head(b), layout.Head(b));
  for (uint32_t e = 0; e < layout.Count(); ++e) {
    EXPECT_EQ(back.Next(e), layout.Next(e));
    EXPECT_EQ(back.NameId(e), layout.NameId(e));
  }
}

TEST(VariableHashLayout, BucketsBeyondTheFileFormatAreRefusedOnWrite) {
  Dictionary d;
  VariableHashLayout layout(20);
  uint32_t id = 0;
  // Find a name whose bucket does not fit the 16-bit field.
  for (int i = 0;; ++i) {
    std::string name = "v" + std::to_string(i);
    if ((Lookup2Lower(name) & 0xFFFFF) > 0x7FFF) {
      id = static_cast<uint32_t>(d.Add(name));
      break;
    }
  }
  layout.Add(id, d);
  std::string bytes;
  EXPECT_FALSE(layout.AppendTo(&bytes));
  EXPECT_NE(layout.ErrorText().find("cannot be written"), std::string::npos);
}

TEST(NameChains, CopiesAreIndependent) {
  Dictionary d;
  VariableHashLayout a(2);
  a.Add(static_cast<uint32_t>(d.Add("one")), d);
  VariableHashLayout b = a;
  b.Add(static_cast<uint32_t>(d.Add("two")), d);
  EXPECT_EQ(a.Count(), 1u);
  EXPECT_EQ(a.Find("two", d), -1);
  EXPECT_EQ(b.Find("two", d), 1);
  EXPECT_EQ(b.Find("one", d), 0);
}

TEST(NameChains, DefaultBitsGrowWithTheCount) {
  EXPECT_EQ(DefaultHashBits(0), 3u);
  EXPECT_EQ(DefaultHashBits(8), 3u);
  EXPECT_EQ(DefaultHashBits(9), 4u);
  EXPECT_EQ(DefaultHashBits(1000), 10u);
  EXPECT_EQ(DefaultHashBits(10000000), 15u);
}

}  // namespace
}  // namespace orin
