// Calendar conversions: the fields scripts and log lines show, under a zone
// with daylight saving time, and the universal time of the cookie expiry.
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

namespace orin {
namespace {

// Runs the test under a fixed zone and puts the old one back.
class LocalTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    had_zone_ = old != nullptr;
    if (had_zone_) old_zone_ = old;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (had_zone_) {
      setenv("TZ", old_zone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_zone_ = false;
  std::string old_zone_;
};

TEST_F(LocalTimeTest, FieldsFollowTheZoneAndItsDaylightSaving) {
  LocalTime winter;
  ASSERT_TRUE(BreakDownLocalTime(0, &winter));  // 1970-01-01 00:00 UTC, a Thursday
  EXPECT_EQ(winter.year, 1970);
  EXPECT_EQ(winter.month, 1);
  EXPECT_EQ(winter.day, 1);
  EXPECT_EQ(winter.hour, 1);
  EXPECT_EQ(winter.weekday, 4);
  EXPECT_EQ(winter.yearday, 0);
  EXPECT_EQ(winter.dst, 0);
  EXPECT_EQ(winter.zone, "CET");

  LocalTime summer;  // 2024-07-01 22:30:15 UTC
  ASSERT_TRUE(BreakDownLocalTime(1719873015, &summer));
  EXPECT_EQ(summer.year, 2024);
  EXPECT_EQ(summer.month, 7);
  EXPECT_EQ(summer.day, 2);  // past midnight locally
  EXPECT_EQ(summer.hour, 0);
  EXPECT_EQ(summer.minute, 30);
  EXPECT_EQ(summer.second, 15);
  EXPECT_EQ(summer.weekday, 2);    // a Tuesday
  EXPECT_EQ(summer.yearday, 183);  // from 0: 182 days of a leap year before July
  EXPECT_GT(summer.dst, 0);
  EXPECT_EQ(summer.zone, "CEST");
}

TEST_F(LocalTimeTest, AnUnrepresentableYearLeavesTheFieldsAlone) {
  LocalTime t;
  t.year = 1234;
  EXPECT_FALSE(BreakDownLocalTime(std::numeric_limits<int64_t>::max(), &t));
  EXPECT_EQ(t.year, 1234);
}

TEST(UniversalTime, FormatsInEnglishWhateverTheZonePastThe32BitEnd) {
  const char* format = "%a, %d-%b-%Y %H:%M:%S GMT";
  EXPECT_EQ(FormatUniversalTime(0, format), "Thu, 01-Jan-1970 00:00:00 GMT");
  EXPECT_EQ(FormatUniversalTime(int64_t{1} << 31, format), "Tue, 19-Jan-2038 03:14:08 GMT");
  EXPECT_EQ(FormatUniversalTime(std::numeric_limits<int64_t>::max(), format), "");
}

}  // namespace
}  // namespace orin
