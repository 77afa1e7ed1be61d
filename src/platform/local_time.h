// The local wall-clock time with microseconds, for log lines.
#ifndef ORIN_PLATFORM_LOCAL_TIME_H_
#define ORIN_PLATFORM_LOCAL_TIME_H_

#include <cstdint>

namespace orin {

struct LocalTime {
  int year = 0;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int32_t microsecond = 0;
};

LocalTime LocalTimeNow();

}  // namespace orin

#endif  // ORIN_PLATFORM_LOCAL_TIME_H_
