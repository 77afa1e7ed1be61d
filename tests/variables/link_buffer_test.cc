#include "variables/link_buffer.h"

#include "variables/variable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace orin {
namespace {

TEST(LinkBuffer, FirstBlockThenOneGrowthBlockPerAppend) {
  LinkBuffer b(512, 4096);
  b.Concat(std::string(5000, 'x'));
  ASSERT_EQ(b.BlockCount(), 1u);
  EXPECT_EQ(b.BlockCapacity(0), 5120u);
  b.Concat(std::string(200, 'y'));  // 120 fill the first block, 80 start a 4096 block
  ASSERT_EQ(b.BlockCount(), 2u);
  EXPECT_EQ(b.BlockCapacity(1), 4096u);
  EXPECT_EQ(b.size(), 5200u);
  std::string s = b.ToString();
  EXPECT_EQ(s, std::string(5000, 'x') + std::string(200, 'y'));
}

TEST(LinkBuffer, DataFlattensToContiguousTerminatedBytes) {
  LinkBuffer b(512, 512);
  b.Concat(std::string(100, 'a'));
  b.Concat(std::string(600, 'b'));
  ASSERT_EQ(b.BlockCount(), 2u);  // 412 of the 600 fill block one, 188 go to a second
  EXPECT_EQ(b.BlockCapacity(1), 512u);
  uint32_t n = 0;
  const char* p = b.Data(&n);
  EXPECT_EQ(n, 700u);
  EXPECT_EQ(b.BlockCount(), 1u);
  EXPECT_EQ(p[700], '\0');
  EXPECT_EQ(std::string(p, n), std::string(100, 'a') + std::string(600, 'b'));
  // A second read does not flatten again.
  EXPECT_EQ(b.Data(), p);
}

TEST(LinkBuffer, PrependAndMoveKeepOrder) {
  LinkBuffer a(16, 16), b(16, 16);
  a.Concat("middle");
  a.Prepend("start-");
  a.Concat_Char('-');
  b.Concat("end");
  a.ConcatMove(b);
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(b.BlockCount(), 0u);
  EXPECT_EQ(a.ToString(), "start-middle-end");
  LinkBuffer c(16, 16);
  c.Concat("<<");
  a.PrependMove(c);
  a.ConcatCopy(a);  // self-append doubles the contents
  EXPECT_EQ(a.ToString(), "<<start-middle-end<<start-middle-end");
  EXPECT_EQ(a.size(), a.ToString().size());
}

TEST(LinkBuffer, NumbersHexAndAdoptedBlocks) {
  LinkBuffer b(8, 8);
  b.Concat_HexChar(0x3A);
  b.Concat_Int(-2147483647 - 1);
  char* owned = static_cast<char*>(std::malloc(10));
  std::memcpy(owned, "xyz", 3);
  b.Concat_String_Nocopy(owned, 3, 10);
  b.Concat("!");  // fills spare room of the adopted block
  EXPECT_EQ(b.ToString(), "3A-2147483648xyz!");
  EXPECT_EQ(b.size(), 17u);
}

TEST(LinkBuffer, ReleaseEmptiesTheBufferForReuse) {
  LinkBuffer b(4, 4);
  b.Concat("hello");
  b.Concat(" world");
  uint32_t n = 0, cap = 0;
  char* p = b.Release(&n, &cap, 1);
  EXPECT_EQ(std::string(p, n), "hello world");
  EXPECT_GE(cap, 12u);
  EXPECT_EQ(p[n], '\0');
  std::free(p);
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(b.BlockCount(), 0u);
  b.Concat("again");
  EXPECT_EQ(b.ToString(), "again");
  LinkBuffer e(4, 4);
  char* one = e.Release(&n, &cap);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(cap, 1u);
  std::free(one);
}

TEST(LinkBuffer, VariablesAndNumbersBothWays) {
  LinkBuffer b(8, 8);
  VarRef v = NewTextVariable("", std::string("a\0b", 3));
  b.Concat_Variable(v.get());
  b.Concat_Double(0.1);
  b.Concat_Double(-2.0);
  bool error;
  DecimalPtr big(DecimalFromText(nullptr, "1E+80", -1, &error));
  b.Concat_Decimal(big.get());  // a long text: adopted as a block of its own
  size_t blocks = b.BlockCount();
  b.Prepend_Int(-7);
  b.Prepend_HexChar(0xE9);
  b.Prepend_Double(1.5);
  b.Prepend_Variable(v.get());
  b.Prepend_Char('<');
  EXPECT_EQ(b.ToString(), "<" + std::string("a\0b", 3) + "1.5E9-7" + std::string("a\0b", 3) +
                              "0.1-2" + "1" + std::string(80, '0'));
  EXPECT_EQ(b.size(), b.ToString().size());
  EXPECT_GE(blocks, 2u);
}

}  // namespace
}  // namespace orin
