#include "vm/error_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace orin {
namespace {

// Restores the process-wide table after each test that changes it.
class ErrorSettingsTest : public testing::Test {
 protected:
  void SetUp() override { saved_ = CopyDefaultErrorSettings(); }
  void TearDown() override { RestoreDefaultErrorSettings(saved_); }
  ErrorSettings saved_;
};

TEST(ErrorSettingTable, RowsAreNumberedByTagAndNameTheirVariable) {
  const ErrorSettingRow* rows = ErrorSettingTable();
  for (int i = 0; i < kErrorSettingRows - 1; ++i) {
    EXPECT_EQ(rows[i].tag, i);
    EXPECT_EQ(std::string(rows[i].variable_name), std::string(rows[i].name) + "_Error");
    ASSERT_GE(rows[i].setting, 0);
    ASSERT_LE(rows[i].setting, 3);
  }
}

TEST(TagLookup, CaseAliasesAndLength) {
  EXPECT_EQ(TagLookup("ztif"), 0);
  EXPECT_EQ(TagLookup("ZTIF"), 0);
  EXPECT_EQ(TagLookup("ZtLocalized-Token"), 25);
  EXPECT_EQ(TagLookup("zeto"), 48);
  EXPECT_EQ(TagLookup("expression"), 62);
  EXPECT_EQ(TagLookup("ztexpression"), -1);
  EXPECT_EQ(TagLookup("ztfuncreturn"), 17);
  EXPECT_EQ(TagLookup("ztfunctionreturn"), 17);
  EXPECT_EQ(TagLookup("ztasync"), 75);
  EXPECT_EQ(TagLookup("ztasynchronous"), 75);
  // The longest names have 18 bytes; anything longer never matches, even
  // when it starts with a real name.
  EXPECT_EQ(TagLookup("ztcommercecontinue"), 67);
  EXPECT_EQ(TagLookup("ztcommercecontinuE"), 67);
  EXPECT_EQ(TagLookup("ztcommercecontinue1"), -1);
  EXPECT_EQ(TagLookup("ztif "), -1);
  EXPECT_EQ(TagLookup(""), -1);
  EXPECT_EQ(TagLookup(std::string("ztif\0", 5)), -1);
  // Every row but the expression tag answers to its own name.
  int found = 0;
  const ErrorSettingRow* rows = ErrorSettingTable();
  for (int i = 0; i < kErrorSettingRows - 1; ++i) {
    if (TagLookup(rows[i].name) == i) ++found;
  }
  EXPECT_EQ(found, 75);
}

TEST(ParseErrorSetting, WordsAnywhereInAnyCase) {
  EXPECT_EQ(ParseErrorSetting("fatal,display"), 3);
  EXPECT_EQ(ParseErrorSetting("DISPLAY and Fatal"), 3);
  EXPECT_EQ(ParseErrorSetting("xdisplayx"), 1);
  EXPECT_EQ(ParseErrorSetting("fatal"), 2);
  EXPECT_EQ(ParseErrorSetting("fata l, displa"), 0);
  EXPECT_EQ(ParseErrorSetting(""), 0);
}

TEST_F(ErrorSettingsTest, DefaultsChangeByNameAndReachNewCopies) {
  ErrorSettings before = CopyDefaultErrorSettings();
  EXPECT_EQ(before[28], kErrorDisplay);
  EXPECT_EQ(ztConfig_Set_DefaultErrorSetting("ZtOPEN", 6, 3), 1);
  EXPECT_EQ(ztConfig_Set_DefaultErrorSetting("ztif", -1, 0), 1);
  // The length counts: "ztifdef" cut to 4 bytes is "ztif".
  EXPECT_EQ(ztConfig_Set_DefaultErrorSetting("ztifdefx", 4, 1), 1);
  EXPECT_EQ(ztConfig_Set_DefaultErrorSetting("nosuchtag", -1, 3), 0);
  EXPECT_EQ(ztConfig_Set_DefaultErrorSetting(nullptr, 0, 3), 0);
  ErrorSettings after = CopyDefaultErrorSettings();
  EXPECT_EQ(after[28], 3);
  EXPECT_EQ(after[0], 1);
  EXPECT_EQ(after[60], before[60]);  // ZtIFDEF untouched
  // A copy taken earlier is not affected.
  EXPECT_EQ(before[28], kErrorDisplay);
  EXPECT_FALSE(SetDefaultErrorSetting(77, 3));
  EXPECT_FALSE(SetDefaultErrorSetting(-1, 3));
  RestoreDefaultErrorSettings(before);
  EXPECT_EQ(CopyDefaultErrorSettings(), before);
}

}  // namespace
}  // namespace orin
