#include "util/lookup2.h"

#include <gtest/gtest.h>

#include <string>

namespace orin {
namespace {

// Published values of Jenkins' 1996 hash() with initial value 0.
TEST(Lookup2, PublishedValues) {
  struct {
    const char* text;
    uint32_t hash;
  } cases[] = {
      {"", 0xbd49d10d},         {"a", 0x29eec818},     {"ab", 0x9879ac41},
      {"abc", 0x251e4793},      {"abcd", 0x5ae61fa5},  {"abcde", 0x03a96866},
      {"foobar", 0x9d3ffa02},   {"hello, world", 0x37a0e989},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lookup2(c.text, std::char_traits<char>::length(c.text), 0), c.hash) << c.text;
  }
}

TEST(Lookup2, LowerCaseVariantFoldsOnlyAsciiLetters) {
  EXPECT_EQ(Lookup2Lower("FooBar"), Lookup2("foobar", 6, 0));
  EXPECT_EQ(Lookup2Lower("HELLO, WORLD"), 0x37a0e989u);
  // Bytes outside A-Z are hashed unchanged.
  std::string high = "\xC4x";
  EXPECT_EQ(Lookup2Lower(high), Lookup2(high.data(), high.size(), 0));
  EXPECT_NE(Lookup2Lower("@"), Lookup2Lower("`"));  // '@'+32 is '`', not a letter
}

TEST(Lookup2, InitialValueAndEveryTailLength) {
  // Every tail length 0..11 after a full block must reach the hash.
  std::string s = "abcdefghijklmnopqrstuvw";
  for (size_t n = 12; n <= s.size(); ++n) {
    EXPECT_NE(Lookup2(s.data(), n, 0), Lookup2(s.data(), n - 1, 0)) << n;
  }
  EXPECT_NE(Lookup2("abc", 3, 0), Lookup2("abc", 3, 1));
}

}  // namespace
}  // namespace orin
