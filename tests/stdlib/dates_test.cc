// Calendar arithmetic across clock changes and month ends, and the parser's
// refusals; the instants were checked against date(1) with TZ set.
#include "core/dates.h"

#include <gtest/gtest.h>

namespace orin_std {
namespace {

int64_t Parse(std::string_view text, std::string_view format, std::string_view zone) {
  int64_t out = 0;
  std::string error;
  EXPECT_TRUE(ParseTime(text, format, zone, &out, &error)) << text << ": " << error;
  return out;
}

std::string Format(int64_t s, std::string_view format, std::string_view zone) {
  std::string out, error;
  EXPECT_TRUE(FormatTime(s, format, zone, &out, &error)) << error;
  return out;
}

TEST(DatesTest, ParsesIsoFormsAndOffsets) {
  EXPECT_EQ(Parse("2024-03-01", "", "UTC"), 1709251200);
  EXPECT_EQ(Parse("2024-03-01 12:30:00", "", "Europe/Berlin"), 1709292600);
  EXPECT_EQ(Parse("2024-03-01T12:30:00Z", "", "Europe/Berlin"), 1709296200);
  EXPECT_EQ(Parse("2024-03-01T12:30:00+02:00", "", "UTC"), 1709289000);
  EXPECT_EQ(Parse("01.03.2024 12:30", "%d.%m.%Y %H:%M", "UTC"), 1709296200);
  // 02:30 on the spring-forward night does not exist in Berlin: the earlier
  // reading (01:00 UTC) is taken; 02:30 in the autumn exists twice.
  EXPECT_EQ(Parse("2024-03-31 02:30:00", "", "Europe/Berlin"), 1711846800);
  EXPECT_EQ(Parse("2024-10-27 02:30:00", "", "Europe/Berlin"), 1729989000);
}

TEST(DatesTest, RefusesWhatIsNotADate) {
  int64_t out;
  std::string error;
  EXPECT_FALSE(ParseTime("2024-02-30", "", "UTC", &out, &error));
  EXPECT_EQ(error, "'2024-02-30' is not a date in the form YYYY-MM-DD[ HH:MM:SS]");
  EXPECT_FALSE(ParseTime("2024-02-01 extra", "%Y-%m-%d", "UTC", &out, &error));
  EXPECT_EQ(error, "'2024-02-01 extra' does not match the format '%Y-%m-%d'");
  EXPECT_FALSE(ParseTime("2024-02-01", "%Y-%m-%Q", "UTC", &out, &error));
  EXPECT_EQ(error, "unknown conversion '%Q' in the format");
  EXPECT_FALSE(ParseTime("2024-02-01", "", "Mars/Olympus", &out, &error));
  EXPECT_EQ(error, "unknown time zone 'Mars/Olympus'");
  EXPECT_FALSE(MakeTime(2023, 2, 29, 0, 0, 0, "UTC", &out, &error));
  EXPECT_FALSE(MakeTime(2024, 1, 1, 24, 0, 0, "UTC", &out, &error));
  EXPECT_TRUE(MakeTime(2024, 2, 29, 23, 59, 59, "UTC", &out, &error));
  EXPECT_EQ(out, 1709251199);
  std::string text;
  EXPECT_FALSE(FormatTime(253402300800, "%Y", "UTC", &text, &error));
  EXPECT_FALSE(FormatTime(0, "%", "UTC", &text, &error));
}

TEST(DatesTest, FormatsInTheZone) {
  EXPECT_EQ(Format(1700000000, "%Y-%m-%d %H:%M:%S %Z %z", "Europe/Berlin"),
            "2023-11-14 23:13:20 CET +0100");
  EXPECT_EQ(Format(1700000000, "%A %d %B %Y, day %j", "America/New_York"),
            "Tuesday 14 November 2023, day 318");
  EXPECT_EQ(Format(-62135596800, "%Y-%m-%d", "UTC"), "0001-01-01");
}

TEST(DatesTest, AddsCalendarUnitsInWallClockTime) {
  int64_t out;
  std::string error;
  int64_t before_change = Parse("2024-03-30 12:00:00", "", "Europe/Berlin");
  ASSERT_TRUE(AddTime(before_change, 1, "day", "Europe/Berlin", &out, &error));
  EXPECT_EQ(Format(out, "%F %T", "Europe/Berlin"), "2024-03-31 12:00:00");
  EXPECT_EQ(out - before_change, 23 * 3600);  // the night lost an hour
  ASSERT_TRUE(AddTime(before_change, 24, "hours", "Europe/Berlin", &out, &error));
  EXPECT_EQ(Format(out, "%F %T", "Europe/Berlin"), "2024-03-31 13:00:00");
  int64_t jan31 = Parse("2024-01-31 08:00:00", "", "UTC");
  ASSERT_TRUE(AddTime(jan31, 1, "month", "UTC", &out, &error));
  EXPECT_EQ(Format(out, "%F %T", "UTC"), "2024-02-29 08:00:00");
  ASSERT_TRUE(AddTime(jan31, -13, "Months", "UTC", &out, &error));
  EXPECT_EQ(Format(out, "%F", "UTC"), "2022-12-31");
  ASSERT_TRUE(AddTime(Parse("2024-02-29", "", "UTC"), 1, "year", "UTC", &out, &error));
  EXPECT_EQ(Format(out, "%F", "UTC"), "2025-02-28");
  EXPECT_FALSE(AddTime(jan31, 1, "fortnight", "UTC", &out, &error));
  EXPECT_FALSE(AddTime(jan31, 10000, "years", "UTC", &out, &error));
  EXPECT_EQ(error, "the result is outside the years 1 to 9999");
}

TEST(DatesTest, DiffCountsWholeUnits) {
  int64_t out;
  std::string error;
  int64_t a = Parse("2024-01-31 10:00:00", "", "UTC");
  int64_t b = Parse("2024-02-29 09:59:59", "", "UTC");
  ASSERT_TRUE(DiffTime(a, b, "months", "UTC", &out, &error));
  EXPECT_EQ(out, 0);  // one second short of the day and time
  ASSERT_TRUE(DiffTime(a, b + 1 + 86400 * 2, "month", "UTC", &out, &error));
  EXPECT_EQ(out, 1);
  ASSERT_TRUE(DiffTime(b, a, "days", "UTC", &out, &error));
  EXPECT_EQ(out, -28);
  ASSERT_TRUE(DiffTime(Parse("2000-06-15", "", "UTC"), Parse("2024-06-14", "", "UTC"), "years",
                       "UTC", &out, &error));
  EXPECT_EQ(out, 23);
  // Across the spring change a calendar day is 23 hours.
  int64_t x = Parse("2024-03-30 12:00:00", "", "Europe/Berlin");
  int64_t y = Parse("2024-03-31 12:00:00", "", "Europe/Berlin");
  ASSERT_TRUE(DiffTime(x, y, "day", "Europe/Berlin", &out, &error));
  EXPECT_EQ(out, 1);
  ASSERT_TRUE(DiffTime(x, y, "hour", "Europe/Berlin", &out, &error));
  EXPECT_EQ(out, 23);
}

TEST(DatesTest, WeekdayAndOffsetFollowTheZone) {
  int64_t out;
  std::string error;
  // 2024-03-31 23:30 UTC is already Monday in Berlin.
  int64_t t = Parse("2024-03-31 23:30:00", "", "UTC");
  ASSERT_TRUE(Weekday(t, "UTC", &out, &error));
  EXPECT_EQ(out, 7);
  ASSERT_TRUE(Weekday(t, "Europe/Berlin", &out, &error));
  EXPECT_EQ(out, 1);
  ASSERT_TRUE(ZoneOffset(t, "Europe/Berlin", &out, &error));
  EXPECT_EQ(out, 7200);
  ASSERT_TRUE(ZoneOffset(Parse("2024-01-15", "", "UTC"), "Asia/Kolkata", &out, &error));
  EXPECT_EQ(out, 19800);
}

}  // namespace
}  // namespace orin_std
