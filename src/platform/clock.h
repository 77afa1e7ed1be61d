// Clocks. The ids of the running process and thread are in process_info.h.
#ifndef ORIN_PLATFORM_CLOCK_H_
#define ORIN_PLATFORM_CLOCK_H_

#include <cstdint>

namespace orin {

// Milliseconds of a clock that never jumps; only differences mean anything.
int64_t MonotonicMillis();

// Seconds since the epoch, as time() gives them; deadlines of a run use it.
int64_t WallClockSeconds();

// The wall clock with its fraction, for what needs more than whole seconds
// (the run's start time, caller ids).
struct WallClockTime {
  int64_t seconds = 0;  // since the epoch
  int32_t nanoseconds = 0;
};
WallClockTime WallClockNow();

}  // namespace orin

#endif  // ORIN_PLATFORM_CLOCK_H_
