// Calendar times: the local time broken into its fields (log lines, the
// time system variables) and universal times formatted for headers.
#ifndef ORIN_PLATFORM_LOCAL_TIME_H_
#define ORIN_PLATFORM_LOCAL_TIME_H_

#include <cstdint>
#include <string>

namespace orin {

struct LocalTime {
  int year = 0;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int32_t microsecond = 0;
  int weekday = 0;   // 0 to 6, Sunday = 0
  int yearday = 0;   // 0 to 365
  int dst = 0;       // as the conversion reports it: >0 in effect, 0 not, <0 unknown
  std::string zone;  // the zone's abbreviation in effect, empty when unknown
};

LocalTime LocalTimeNow();
// `seconds` since the epoch in the local zone; false (and `*out` left as
// it was) when the year cannot be represented.
bool BreakDownLocalTime(int64_t seconds, LocalTime* out);

// `seconds` since the epoch as universal time, formatted like strftime in
// the C locale (English day and month names); empty when it cannot be.
std::string FormatUniversalTime(int64_t seconds, const char* format);

}  // namespace orin

#endif  // ORIN_PLATFORM_LOCAL_TIME_H_
