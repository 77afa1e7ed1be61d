#include "platform/local_time.h"

#include <time.h>

namespace orin {

bool BreakDownLocalTime(int64_t seconds, LocalTime* out) {
  // The C library reads the time zone on its first local conversion and
  // keeps the zone names in shared storage; reading it once here, under the
  // guard of a function-local static, keeps two threads' first conversions
  // from writing that storage at the same time.
  static const bool zone_read = (tzset(), true);
  (void)zone_read;
  time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) return false;
  out->year = tm.tm_year + 1900;
  out->month = tm.tm_mon + 1;
  out->day = tm.tm_mday;
  out->hour = tm.tm_hour;
  out->minute = tm.tm_min;
  out->second = tm.tm_sec;
  out->weekday = tm.tm_wday;
  out->yearday = tm.tm_yday;
  out->dst = tm.tm_isdst;
  out->zone = tm.tm_zone != nullptr ? tm.tm_zone : "";
  return true;
}

LocalTime LocalTimeNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  LocalTime t;
  if (!BreakDownLocalTime(ts.tv_sec, &t)) return t;
  t.microsecond = static_cast<int32_t>(ts.tv_nsec / 1000);
  return t;
}

std::string FormatUniversalTime(int64_t seconds, const char* format) {
  time_t t = static_cast<time_t>(seconds);
  struct tm utc;
  if (gmtime_r(&t, &utc) == nullptr) return {};
  char text[128];
  size_t length = strftime(text, sizeof text, format, &utc);
  return std::string(text, length);
}

}  // namespace orin
