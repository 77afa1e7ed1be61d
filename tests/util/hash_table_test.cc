#include "util/hash_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orin {
namespace {

std::vector<std::string> Keys(const HashTable<int>& t) {
  std::vector<std::string> keys;
  t.ForEach([&](std::string_view k, const int&) { keys.emplace_back(k); });
  return keys;
}

TEST(HashTable, CaseInsensitiveKeysFindEachOther) {
  HashTable<int> t(12, true);
  t.Set("Content-Type", 1);
  ASSERT_NE(t.Find("content-type"), nullptr);
  EXPECT_EQ(*t.Find("CONTENT-TYPE"), 1);
  t.Set("CONTENT-type", 2);  // same key: replaced in place
  EXPECT_EQ(t.size(), 1u);
  EXPECT_EQ(*t.Find("Content-Type"), 2);
  EXPECT_EQ(Keys(t), std::vector<std::string>{"Content-Type"});
}

TEST(HashTable, CaseSensitiveKeysAreDistinct) {
  HashTable<int> t(12, false);
  t.Set("a", 1);
  t.Set("A", 2);
  EXPECT_EQ(*t.Find("a"), 1);
  EXPECT_EQ(*t.Find("A"), 2);
  EXPECT_EQ(t.Find("b"), nullptr);
}

TEST(HashTable, CollidingKeysInOneBucketAndInsertionOrder) {
  // With a single bucket every key shares one chain, kept in key order,
  // while iteration still follows insertion order.
  HashTable<int> t(0, true);
  std::vector<std::string> keys = {"zeta", "a", "beta", "alpha", "bb", "b", "gamma"};
  for (size_t i = 0; i < keys.size(); ++i) t.Set(keys[i], static_cast<int>(i));
  for (size_t i = 0; i < keys.size(); ++i) {
    ASSERT_NE(t.Find(keys[i]), nullptr) << keys[i];
    EXPECT_EQ(*t.Find(keys[i]), static_cast<int>(i));
  }
  EXPECT_EQ(t.Find("zz"), nullptr);
  EXPECT_EQ(t.Find(""), nullptr);
  EXPECT_EQ(Keys(t), keys);
}

TEST(HashTable, RemoveKeepsOrderAndSurvivesCompaction) {
  HashTable<int> t(4, true);
  for (int i = 0; i < 2000; ++i) t.Set("k" + std::to_string(i), i);
  for (int i = 0; i < 2000; i += 2) ASSERT_TRUE(t.Remove("K" + std::to_string(i)));
  EXPECT_FALSE(t.Remove("k0"));
  EXPECT_EQ(t.size(), 1000u);
  int expect = 1;
  t.ForEach([&](std::string_view k, int& v) {
    EXPECT_EQ(v, expect);
    EXPECT_EQ(k, "k" + std::to_string(expect));
    expect += 2;
  });
  EXPECT_EQ(expect, 2001);
  for (int i = 1; i < 2000; i += 2) ASSERT_EQ(*t.Find("k" + std::to_string(i)), i);
  // A removed key can come back, at the end of the order.
  t.Set("k0", 42);
  EXPECT_EQ(*t.Find("K0"), 42);
}

TEST(HashTable, OwningTableDestroysItsEntries) {
  struct Counted {
    int* alive;
    explicit Counted(int* a) : alive(a) { ++*alive; }
    ~Counted() { --*alive; }
  };
  int alive = 0;
  {
    HashTable<std::unique_ptr<Counted>> t;
    t.Set("a", std::make_unique<Counted>(&alive));
    t.Set("b", std::make_unique<Counted>(&alive));
    t.Set("A", std::make_unique<Counted>(&alive));  // replaces and frees the first
    EXPECT_EQ(alive, 2);
    t.Remove("b");
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace orin
