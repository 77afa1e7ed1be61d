// Texts and numbers: bounds, growth limits and decimal rounding.
#include <gtest/gtest.h>

#include "core/numbers.h"
#include "core/text.h"

namespace orin_std {
namespace {

TEST(TextTest, PositionsAreCheckedAgainstTheText) {
  std::string_view out;
  std::string error;
  ASSERT_TRUE(SubText("hello", 6, 3, &out, &error));  // just past the end: empty
  EXPECT_EQ(out, "");
  ASSERT_TRUE(SubText("hello", 2, 100, &out, &error));
  EXPECT_EQ(out, "ello");
  EXPECT_FALSE(SubText("hello", 7, 1, &out, &error));
  EXPECT_EQ(error, "position 7 is outside the text (1 to 6)");
  EXPECT_FALSE(SubText("hello", 0, 1, &out, &error));
  EXPECT_FALSE(SubText("hello", 1, -1, &out, &error));
  int64_t at;
  ASSERT_TRUE(FindText("abcabc", "bc", 3, &at, &error));
  EXPECT_EQ(at, 5);
  ASSERT_TRUE(FindText("abc", "", 4, &at, &error));
  EXPECT_EQ(at, 4);
  EXPECT_FALSE(FindText("abc", "a", 5, &at, &error));
  EXPECT_EQ(FindLastText("abcabc", "abc"), 4);
}

TEST(TextTest, ReplaceSplitAndPadKeepBytes) {
  std::string out, error;
  ASSERT_TRUE(ReplaceText(std::string_view("a\0a", 3), "a", "aa", &out, &error));
  EXPECT_EQ(out, std::string("aa\0aa", 5));  // replacements are not rescanned
  EXPECT_FALSE(ReplaceText("abc", "", "x", &out, &error));
  std::vector<std::string_view> pieces;
  ASSERT_TRUE(SplitText(",a,,b,", ",", &pieces, &error));
  EXPECT_EQ(pieces, (std::vector<std::string_view>{"", "a", "", "b", ""}));
  ASSERT_TRUE(PadText("7", 5, "ab", true, &out, &error));
  EXPECT_EQ(out, "abab7");
  ASSERT_TRUE(PadText("toolong", 3, "x", false, &out, &error));
  EXPECT_EQ(out, "toolong");
  EXPECT_FALSE(PadText("x", 5, "", true, &out, &error));
  EXPECT_FALSE(RepeatText("ab", int64_t{1} << 40, &out, &error));
  EXPECT_FALSE(RepeatText("ab", kMaxResultBytes / 2 + 1, &out, &error));
  ASSERT_TRUE(RepeatText("", int64_t{1} << 40, &out, &error));
  EXPECT_EQ(out, "");
  EXPECT_EQ(TrimText(" \t\r\nx y\f\v ", TrimSide::kBoth), "x y");
  EXPECT_EQ(UpperText("aäz"), "AäZ");
}

std::string Round(std::string_view x, int64_t places) {
  std::string out, error;
  EXPECT_TRUE(NumberRound(x, places, &out, &error)) << error;
  return out;
}

TEST(NumbersTest, RoundingIsDecimalAndAwayFromZero) {
  EXPECT_EQ(Round("2.675", 2), "2.68");  // a double would give 2.67
  EXPECT_EQ(Round("-2.5", 0), "-3");
  EXPECT_EQ(Round("1250", -2), "1300");
  EXPECT_EQ(Round(" 7 ", 1), "7.0");
  std::string out, error;
  EXPECT_FALSE(NumberRound("abc", 0, &out, &error));
  EXPECT_EQ(error, "'abc' is not a number");
  EXPECT_FALSE(NumberRound("Infinity", 0, &out, &error));
  EXPECT_FALSE(NumberRound("1", 1000, &out, &error));
}

TEST(NumbersTest, MathsInSixteenDigits) {
  std::string out, error;
  ASSERT_TRUE(NumberUnary(Unary::kSqrt, "2", &out, &error));
  EXPECT_EQ(out, "1.414213562373095");
  ASSERT_TRUE(NumberUnary(Unary::kFloor, "-1.5", &out, &error));
  EXPECT_EQ(out, "-2");
  ASSERT_TRUE(NumberUnary(Unary::kLog10, "1000", &out, &error));
  EXPECT_EQ(out, "3");
  EXPECT_FALSE(NumberUnary(Unary::kSqrt, "-4", &out, &error));
  EXPECT_FALSE(NumberUnary(Unary::kLn, "0", &out, &error));
  ASSERT_TRUE(NumberBinary(Binary::kMod, "-7", "3", &out, &error));
  EXPECT_EQ(out, "-1");  // the sign of the dividend, like the % operator
  EXPECT_FALSE(NumberBinary(Binary::kMod, "1", "0", &out, &error));
  EXPECT_EQ(error, "division by zero");
  EXPECT_FALSE(NumberBinary(Binary::kPow, "10", "400", &out, &error));
  EXPECT_EQ(error, "the result is too large");
  EXPECT_FALSE(NumberBinary(Binary::kPow, "-8", "0.5", &out, &error));
  ASSERT_TRUE(NumberBinary(Binary::kMax, "1.50", "1.5", &out, &error));
  ASSERT_TRUE(NumberBinary(Binary::kMin, "-0.1", "1e-9", &out, &error));
  EXPECT_EQ(out, "-0.1");
}

TEST(NumbersTest, FormatGroupsAndRounds) {
  std::string out, error;
  ASSERT_TRUE(FormatNumber("1234567.891", 2, ",", ".", &out, &error));
  EXPECT_EQ(out, "1.234.567,89");
  ASSERT_TRUE(FormatNumber("-999.995", 2, ".", ",", &out, &error));
  EXPECT_EQ(out, "-1,000.00");
  ASSERT_TRUE(FormatNumber("-0.001", 2, ".", ",", &out, &error));
  EXPECT_EQ(out, "0.00");
  ASSERT_TRUE(FormatNumber("1e20", 0, ".", " ", &out, &error));
  EXPECT_EQ(out, "100 000 000 000 000 000 000");
  EXPECT_FALSE(FormatNumber("1", 51, ".", ",", &out, &error));
  // 385 digits with a separator of 1 MiB would be 128 MiB.
  EXPECT_FALSE(FormatNumber("9e384", 0, ".", std::string(1 << 20, ','), &out, &error));
}

TEST(NumbersTest, WholeNumbersAndRandomBounds) {
  int64_t out;
  std::string error;
  ASSERT_TRUE(WholeNumber("4.00", &out, &error));
  EXPECT_EQ(out, 4);
  ASSERT_TRUE(WholeNumber("-9999999999999999", &out, &error));
  EXPECT_EQ(out, -9999999999999999);
  EXPECT_FALSE(WholeNumber("9223372036854775808", &out, &error));  // 16 digits: above int64
  EXPECT_FALSE(WholeNumber("1e385", &out, &error));
  EXPECT_EQ(error, "'1e385' is too large");
  EXPECT_FALSE(WholeNumber("4.5", &out, &error));
  EXPECT_EQ(error, "'4.5' is not a whole number");
  EXPECT_FALSE(RandomInteger(2, 1, &out, &error));
  bool seen[3] = {};
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(RandomInteger(-1, 1, &out, &error));
    ASSERT_GE(out, -1);
    ASSERT_LE(out, 1);
    seen[out + 1] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
  ASSERT_TRUE(RandomInteger(INT64_MIN, INT64_MAX, &out, &error));
}

}  // namespace
}  // namespace orin_std
