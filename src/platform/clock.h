// Clocks and the ids of the running process and thread.
#ifndef ORIN_PLATFORM_CLOCK_H_
#define ORIN_PLATFORM_CLOCK_H_

#include <cstdint>

namespace orin {

// Milliseconds of a clock that never jumps; only differences mean anything.
int64_t MonotonicMillis();

// Seconds since the epoch, as time() gives them; deadlines of a run use it.
int64_t WallClockSeconds();

// The kernel's id of the calling thread (what ps and the logs show).
uint32_t CurrentThreadId();
uint32_t CurrentProcessId();

}  // namespace orin

#endif  // ORIN_PLATFORM_CLOCK_H_
