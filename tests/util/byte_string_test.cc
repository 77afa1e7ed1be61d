#include "util/byte_string.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace orin {
namespace {

TEST(ByteString, HoldsNulBytesAndStaysTerminated) {
  ByteString s("a\0b", 3);
  EXPECT_EQ(s.size(), 3u);
  EXPECT_EQ(s.view(), std::string_view("a\0b", 3));
  EXPECT_EQ(s.data()[3], '\0');
  s.Append("\0c", 2);
  EXPECT_EQ(s.view(), std::string_view("a\0b\0c", 5));
  EXPECT_EQ(s.data()[5], '\0');
}

TEST(ByteString, EmptyOwnsNothingButReleasesABuffer) {
  ByteString s;
  EXPECT_EQ(s.capacity(), 0u);
  EXPECT_STREQ(s.data(), "");
  uint32_t len = 9, cap = 9;
  char* p = s.Release(&len, &cap);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(cap, 1u);
  EXPECT_EQ(p[0], '\0');
  std::free(p);
}

TEST(ByteString, AdoptAndReleaseHandOverTheSameBuffer) {
  char* buf = static_cast<char*>(std::malloc(8));
  std::memcpy(buf, "hello", 5);
  ByteString s = ByteString::Adopt(buf, 5, 8);
  EXPECT_EQ(s.data(), buf);
  EXPECT_EQ(s.view(), "hello");
  uint32_t len, cap;
  char* out = s.Release(&len, &cap);
  EXPECT_EQ(out, buf);
  EXPECT_EQ(len, 5u);
  EXPECT_EQ(cap, 8u);
  EXPECT_TRUE(s.empty());
  std::free(out);
  // A full buffer without room for the NUL is grown on adoption.
  char* tight = static_cast<char*>(std::malloc(3));
  std::memcpy(tight, "abc", 3);
  ByteString t = ByteString::Adopt(tight, 3, 3);
  EXPECT_EQ(t.view(), "abc");
  EXPECT_EQ(t.data()[3], '\0');
}

TEST(ByteString, SelfAppendSurvivesReallocation) {
  ByteString s("0123456789");
  for (int i = 0; i < 6; ++i) s.Append(s.data(), s.size());
  EXPECT_EQ(s.size(), 640u);
  for (uint32_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], static_cast<char>('0' + i % 10));
  s.Assign(s.data() + 5, 3);
  EXPECT_EQ(s.view(), "567");
}

TEST(ByteString, CopiesAreIndependentMovesAreNot) {
  ByteString a("abc");
  ByteString b = a;
  b.Append('d');
  EXPECT_EQ(a.view(), "abc");
  EXPECT_EQ(b.view(), "abcd");
  const char* p = b.data();
  ByteString c = std::move(b);
  EXPECT_EQ(c.data(), p);
  EXPECT_TRUE(b.empty());  // NOLINT: moved-from is empty by contract
}

}  // namespace
}  // namespace orin
