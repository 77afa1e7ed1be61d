#include "image/function.h"

#include <gtest/gtest.h>

#include "image/dictionary.h"
#include "image/image_test_util.h"

namespace orin {
namespace {

using test::Bytes;
using test::DictOf;
using test::EmptyHashed;
using test::MemoryFile;

constexpr uint32_t kEnd = 0xFFFFFFFF;

// A function record without parameters and with empty locals.
std::string Record(uint32_t name, uint32_t flags = 0, uint32_t segment = 0, uint32_t offset = 0) {
  return Bytes().U32(name).U32(0).U32(flags).U32(segment).U32(offset).str() + EmptyHashed();
}

class FunctionLoadTest : public ::testing::Test {
 protected:
  // Loads a "func" section over a dictionary of `names`.
  bool Load(const std::string& func, const std::vector<std::string>& names = {"x", "longer", "p"}) {
    file_ = std::make_unique<MemoryFile>(
        std::vector<test::Section>{{"dict", DictOf(names)}, {"func", func}});
    EXPECT_TRUE(dictionary_.Load(**file_)) << dictionary_.ErrorText();
    return functions_.Load(**file_);
  }
  std::string Error(const std::string& func) {
    EXPECT_FALSE(Load(func));
    return functions_.ErrorText();
  }

  std::unique_ptr<MemoryFile> file_;
  Dictionary dictionary_;
  FunctionManager functions_{&dictionary_};
};

TEST_F(FunctionLoadTest, FindsNamesIgnoringCase) {
  // Function 0 "longer", function 1 "x", one bucket: x first (shorter).
  std::string func = Bytes().Hashed(1, 0, 2).U16(0).U32(1).U32(kEnd).U32(0).str() + Record(1) +
                     Record(0, Function::kPrivate, 3, 17);
  ASSERT_TRUE(Load(func)) << functions_.ErrorText();
  ASSERT_EQ(functions_.Count(), 2u);
  EXPECT_EQ(functions_.FindFunction("X", -1), functions_.Get(1));
  EXPECT_EQ(functions_.FindFunction("LoNgEr"), functions_.Get(0));
  EXPECT_EQ(functions_.FindFunction("long"), nullptr);
  EXPECT_EQ(functions_.Get(1)->name(), "x");
  EXPECT_TRUE(functions_.Get(1)->is_private());
  EXPECT_EQ(functions_.Get(1)->segment(), 3u);
  EXPECT_EQ(functions_.Get(1)->offset(), 17u);
  EXPECT_EQ(functions_.Get(2), nullptr);
}

TEST_F(FunctionLoadTest, LookupStopsAtTheFirstLongerName) {
  // Chain out of order: "longer" before "x". A lookup of "x" stops at
  // "longer" and does not see "x" behind it.
  std::string func =
      Bytes().Hashed(1, 0, 2).U16(0).U32(0).U32(1).U32(kEnd).str() + Record(1) + Record(0);
  ASSERT_TRUE(Load(func));
  EXPECT_EQ(functions_.FindFunction("x"), nullptr);
  EXPECT_EQ(functions_.FindFunction("longer"), functions_.Get(0));
}

TEST_F(FunctionLoadTest, HostileChainsEndTheWalk) {
  // A cycle of short names, and a link far outside the table.
  std::string cycle =
      Bytes().Hashed(1, 0, 2).U16(0).U32(0).U32(1).U32(0).str() + Record(0) + Record(2);
  ASSERT_TRUE(Load(cycle));
  EXPECT_EQ(functions_.FindFunction("longest"), nullptr);
  std::string wild = Bytes().Hashed(1, 0, 1).U16(0).U32(0x7FFFFFF0).U32(0x12345).str() + Record(0);
  ASSERT_TRUE(Load(wild));
  EXPECT_EQ(functions_.FindFunction("x"), nullptr);
}

TEST_F(FunctionLoadTest, ParametersAndLocals) {
  // Locals: slot 0 "p", slot 1 "x", chained p then x.
  std::string locals = Bytes().Hashed(1, 0, 2).U16(0).U32(0).U32(2).U32(1).U32(0).U32(kEnd);
  std::string func = Bytes()
                         .Hashed(0, 0, 1)
                         .U32(kEnd)
                         .U32(1)
                         .U32(2)
                         .U32(0)
                         .U32(0)
                         .U32(5)
                         .U32(2)
                         .U32(1)
                         .U32(0)
                         .U32(0)
                         .U32(0)
                         .U32(1)
                         .str() +
                     locals;
  ASSERT_TRUE(Load(func)) << functions_.ErrorText();
  const Function* f = functions_.Get(0);
  ASSERT_EQ(f->parameters().size(), 2u);
  EXPECT_EQ(f->parameters()[0].name, "p");
  EXPECT_TRUE(f->parameters()[0].by_reference());
  EXPECT_EQ(f->parameters()[1].local_index, 1u);
  EXPECT_FALSE(f->parameters()[1].by_reference());
  EXPECT_EQ(f->locals().Count(), 2u);
  EXPECT_EQ(f->locals().Find("P", dictionary_), 0);
  EXPECT_EQ(f->offset(), 5u);
  // Empty bucket list: nothing is found by name, but numbers still work.
  EXPECT_EQ(functions_.FindFunction("longer"), nullptr);
}

TEST_F(FunctionLoadTest, Messages) {
  EXPECT_EQ(Error(Bytes().Hashed(0, 33, 0x10000000)),
            "function_list_header.bucket_bits out of range");
  EXPECT_EQ(Error(Bytes().Hashed(0, 32, 0)), "read_bucket_size out of range");
  EXPECT_EQ(Error(Bytes().Hashed(0, 29, 0)), "read_bucket_size out of range");
  EXPECT_EQ(Error(Bytes().Hashed(-1, 3, 0x10000000)),
            "function_list_header.function_count out of range");
  EXPECT_EQ(Error(Bytes().Hashed(-1, 3, 0)), "function_list_header.bucket_entries out of range");
  EXPECT_EQ(Error(Bytes().Hashed(1, 2, 0).U16(4).U32(0)),
            "function_hash_bucket.index out of range");
  EXPECT_EQ(Error(Bytes().Hashed(1, 2, 0).U16(0xFFFF).U32(0)),
            "function_hash_bucket.index out of range");
  EXPECT_EQ(Error(Bytes().Hashed(0, 0, 1).U32(kEnd).str() + Record(3)),
            "Invalid function header name index");
  EXPECT_EQ(Error(Bytes().Hashed(0, 0, 1).U32(kEnd).U32(0).U32(0xAAAAAAB).U32(0).U32(0).U32(0)),
            "function_header.parameter_count out of range");
  EXPECT_EQ(Error(Bytes()
                      .Hashed(0, 0, 1)
                      .U32(kEnd)
                      .U32(0)
                      .U32(1)
                      .U32(0)
                      .U32(0)
                      .U32(0)
                      .U32(9)
                      .U32(0)
                      .U32(0)
                      .str() +
                  EmptyHashed()),
            "Invalid function parameter name index");
  EXPECT_EQ(
      Error(Bytes().Hashed(0, 0, 1).U32(kEnd).U32(0).U32(0).U32(0).U32(0).U32(0).Hashed(0, 40, 0)),
      "variable_hash_header.bucket_bits out of range");
  // Records announced but missing.
  EXPECT_EQ(Error(Bytes().Hashed(0, 0, 3).U32(kEnd).U32(kEnd).U32(kEnd).str() + Record(0)),
            "Read past end of section boundary");
  EXPECT_EQ(functions_.Count(), 0u);  // failed loads changed nothing
}

TEST_F(FunctionLoadTest, TwentyEightBucketBitsAreAccepted) {
  ASSERT_TRUE(Load(Bytes().Hashed(0, 28, 0))) << functions_.ErrorText();
  EXPECT_EQ(functions_.chains().bucket_count(), 1u << 28);
  EXPECT_EQ(functions_.FindFunction("anything"), nullptr);
}

TEST_F(FunctionLoadTest, ManyHugeLocalTablesCostOnlyWhatTheyHold) {
  // 150000 functions whose locals each claim 2^28 buckets: a dense array
  // per table would need 150 TB; only non-empty buckets may cost memory.
  constexpr uint32_t kCount = 150000;
  Bytes func;
  func.Hashed(0, 0, kCount);
  for (uint32_t i = 0; i < kCount; ++i)
    func.U32(kEnd);
  for (uint32_t i = 0; i < kCount; ++i) {
    func.U32(0).U32(0).U32(0).U32(0).U32(0).Hashed(1, 28, 1).U16(5).U32(0).U32(0).U32(kEnd);
  }
  ASSERT_TRUE(Load(func)) << functions_.ErrorText();
  const VariableHashLayout& locals = functions_.Get(kCount - 1)->locals();
  EXPECT_EQ(locals.bucket_count(), 1u << 28);
  EXPECT_EQ(locals.Head(5), 0);
  EXPECT_EQ(locals.Head(6), -1);
  EXPECT_EQ(locals.used_buckets(), 1u);
}

std::vector<std::string> ChainNames(const FunctionManager& m, uint32_t bucket) {
  std::vector<std::string> names;
  for (int32_t e = m.chains().Head(bucket); e >= 0; e = m.chains().Next(e)) {
    names.emplace_back(m.Get(e)->name());
  }
  return names;
}

TEST(FunctionManager, RegistrationKeepsChainOrder) {
  Dictionary d;
  FunctionManager m(&d);
  EXPECT_EQ(m.chains().bits(), 8u);  // the empty manager's default
  m.Reset(0);                        // one bucket: every name in one chain
  for (const char* name : {"ccc", "b", "a", "\xC4", "A", "bb"})
    m.RegisterScript(name, 1, 0, 0, {});
  // Shorter first; equal lengths by lower-cased signed bytes (0xC4 sorts
  // below ASCII); an equal name goes after the one already there.
  std::vector<std::string> expected = {"\xC4", "a", "A", "b", "bb", "ccc"};
  EXPECT_EQ(ChainNames(m, 0), expected);
  EXPECT_EQ(m.FindFunction("A"), m.Get(2));  // the first of the equal names
  EXPECT_EQ(d.Count(), 6u);                  // each registration added its name
}

TEST(FunctionManager, RegisteredFunctionsLandInTheirHashBucket) {
  Dictionary d;
  FunctionManager m(&d);
  Function* f = m.RegisterScript("Total_Price", 2, 40, Function::kShowErrors,
                                 {{"qty", 0}, {"item", FunctionParameter::kByReference}});
  ASSERT_NE(f, nullptr);
  uint32_t bucket = Lookup2Lower("total_price") & 255;
  EXPECT_EQ(m.chains().Head(bucket), 0);
  EXPECT_EQ(m.FindFunction("TOTAL_PRICE"), f);
  EXPECT_EQ(f->parameters()[1].local_index, 1u);
  EXPECT_EQ(f->locals().Find("ITEM", d), 1);
  Function* ext = m.RegisterExternal("strlen", Function::kPrivate, {{"s", 0}});
  EXPECT_TRUE(ext->external());
  EXPECT_TRUE(ext->is_private());
  EXPECT_EQ(ext->segment(), Function::kNoBody);
  EXPECT_EQ(ext->offset(), Function::kNoBody);
  EXPECT_EQ(m.FindFunction("StrLen"), ext);
}

TEST(FunctionManager, CopiesBetweenDictionariesTranslateNames) {
  Dictionary source_dict;
  FunctionManager source(&source_dict);
  Function* f = source.RegisterScript("f", 4, 8, 0, {{"a", 0}});
  f->mutable_locals().Add(static_cast<uint32_t>(source_dict.Add("tmp")), source_dict);

  Dictionary d;
  d.Add("unrelated");
  FunctionManager m(&d);
  Function* copy = m.RegisterCopy(*f);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->name(), "f");
  EXPECT_EQ(copy->segment(), 4u);
  EXPECT_EQ(copy->parameters()[0].name, "a");
  EXPECT_EQ(copy->locals().Name(1, d), "tmp");
  EXPECT_EQ(copy->locals().Find("a", d), 0);
  EXPECT_EQ(m.FindFunction("F"), copy);
}

TEST(FunctionManager, WriteThenLoad) {
  Dictionary d;
  FunctionManager m(&d);
  m.RegisterScript("main_helper", 1, 0, Function::kCollapseOutput, {{"x", 1}});
  m.RegisterExternal("lib_call", 0, {{"y", 0}, {"z", 0}});
  MemoryStream stream;
  TaggedFile w;
  ASSERT_TRUE(w.Create("f", &stream));
  ASSERT_TRUE(d.Write(w));
  ASSERT_TRUE(m.Write(w));
  ASSERT_TRUE(w.Finish());
  TaggedFile r;
  ASSERT_TRUE(r.Attach("f", &stream));
  Dictionary d2;
  FunctionManager back(&d2);
  ASSERT_TRUE(d2.Load(r));
  ASSERT_TRUE(back.Load(r)) << back.ErrorText();
  ASSERT_EQ(back.Count(), 2u);
  EXPECT_EQ(back.FindFunction("LIB_CALL"), back.Get(1));
  EXPECT_EQ(back.Get(1)->parameters().size(), 2u);
  EXPECT_EQ(back.Get(0)->flags(), Function::kCollapseOutput);
  EXPECT_TRUE(back.Get(0)->parameters()[0].by_reference());
  FunctionManager clone(back, &d2);
  EXPECT_EQ(clone.FindFunction("main_helper"), clone.Get(0));
}

}  // namespace
}  // namespace orin
