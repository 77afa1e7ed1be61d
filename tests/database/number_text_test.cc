// How texts assigned to N fields are accepted and fitted to the decimals.
#include <gtest/gtest.h>

#include <string>

#include "database/xbase_variable.h"

namespace orin {
namespace {

std::string Adjusted(std::string_view text, uint32_t decimals) {
  std::string out;
  if (!AdjustNumberText(text, decimals, &out)) return "refused";
  return out;
}

TEST(NumberText, FractionIsCutOrPaddedNeverRounded) {
  EXPECT_EQ(Adjusted("12.345", 2), "12.34");
  EXPECT_EQ(Adjusted("12.999", 2), "12.99");
  EXPECT_EQ(Adjusted("-12.999", 2), "-12.99");
  EXPECT_EQ(Adjusted("7", 2), "7.00");
  EXPECT_EQ(Adjusted("7.", 2), "7.00");
  EXPECT_EQ(Adjusted(".5", 2), ".50");
  EXPECT_EQ(Adjusted("1.5", 0), "1");
  EXPECT_EQ(Adjusted("-0.9", 0), "-0");
  EXPECT_EQ(Adjusted(".9", 0), "0");
  EXPECT_EQ(Adjusted("", 0), "0");
  EXPECT_EQ(Adjusted("", 3), "0.000");
}

TEST(NumberText, OnlyDigitsOnePointAndALeadingMinus) {
  for (const char* text :
       {"1e3", " 2", "2 ", "+2", "1.2.3", "--1", "1-", "-", ".", "-.", "0x10", "1,5", "NaN"}) {
    EXPECT_EQ(Adjusted(text, 2), "refused") << text;
  }
}

}  // namespace
}  // namespace orin
