#include "platform/local_time.h"

#include <time.h>

namespace orin {

LocalTime LocalTimeNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm tm;
  LocalTime t;
  if (localtime_r(&ts.tv_sec, &tm) == nullptr) return t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.microsecond = static_cast<int32_t>(ts.tv_nsec / 1000);
  return t;
}

}  // namespace orin
