#include "vm/zeto_application.h"

#include <cerrno>
#include <climits>

#include "platform/clock.h"
#include "platform/plain_file.h"
#include "platform/process_info.h"
#include "util/ascii.h"

namespace orin {

ZetoApplication::ZetoApplication() = default;
ZetoApplication::~ZetoApplication() = default;

std::string ZetoApplication::SystemErrorText() {
  return orin::SystemErrorText(errno);
}

void ZetoApplication::StartGlobalTimer() {
  int32_t seconds = GlobalTimeoutSeconds();
  global_deadline_ = seconds > 0 ? WallClockSeconds() + seconds : 0;
  global_deadline_ms_ = seconds > 0 ? MonotonicMillis() + int64_t{seconds} * 1000 : 0;
  timed_out_ = 0;
}

void ZetoApplication::StartPostTimer() {
  int32_t seconds = PostTimeoutSeconds();
  post_deadline_ = seconds > 0 ? WallClockSeconds() + seconds : 0;
  post_deadline_ms_ = seconds > 0 ? MonotonicMillis() + int64_t{seconds} * 1000 : 0;
  post_timed_out_ = 0;
}

void ZetoApplication::StopPostTimer() {
  post_deadline_ = 0;
  post_deadline_ms_ = 0;
  post_timed_out_ = 0;
}

uint32_t ZetoApplication::ProcessId() {
  return CurrentProcessId();
}
uint32_t ZetoApplication::ThreadId() {
  return CurrentThreadId();
}
std::string ZetoApplication::LockHostname() {
  return HostName();
}
int32_t ZetoApplication::LockExpiration() {
  return 90;
}

void ZetoApplication::Sleep(int32_t milliseconds) {
  int64_t end = MonotonicMillis() + (milliseconds > 0 ? milliseconds : 0);
  while (!TimedOut()) {
    int64_t left = end - MonotonicMillis();
    if (left <= 0) break;
    // Woken early by an abort, a time-out or a task that ended; the loop
    // looks at the flags again.
    wake_.Wait(static_cast<int>(left > INT32_MAX ? INT32_MAX : left));
  }
}

bool ZetoApplication::SleepUntilSignal(int32_t milliseconds, uint32_t seen) {
  int64_t end = milliseconds < 0 ? -1 : MonotonicMillis() + milliseconds;
  while (!TimedOut()) {
    // A task bumps the count before it sets the wake event.
    if (signals_.load(std::memory_order_relaxed) != seen) return true;
    int64_t left = end < 0 ? INT32_MAX : end - MonotonicMillis();
    if (left <= 0) break;
    wake_.Wait(static_cast<int>(left > INT32_MAX ? INT32_MAX : left));
  }
  return false;
}

int32_t ZetoApplication::StartAsyncTask(ZetoVM*, uint32_t) {
  return kAsyncUnsupported;
}

// The wall-clock `now` names the tick; the deadlines are compared on the
// monotonic clock, which neither jumps nor rounds to whole seconds.
void ZetoApplication::Tick(time_t) {
  ++tick_count_;
  int64_t now = MonotonicMillis();
  int64_t global = global_deadline_ms_;
  if (global != 0 && now >= global) {
    timed_out_ = 1;
    wake_.Set();
  }
  int64_t post = post_deadline_ms_;
  if (post != 0 && now >= post) post_timed_out_ = 1;
}

int32_t ZetoApplication::TimeRemaining() {
  time_t deadline = global_deadline_;
  if (deadline == 0) return -1;
  time_t now = WallClockSeconds();
  return now >= deadline ? 0 : static_cast<int32_t>(deadline - now);
}

void ZetoApplication::SetLanguage(std::string_view value) {
  language_.assign(value);
  ++language_counter_;
}

void ZetoApplication::SetDefaultLanguage(std::string_view value) {
  default_language_.assign(value);
  ++default_language_counter_;
}

void ZetoApplication::SetDefaultDatabase(std::string_view value) {
  default_database_.assign(value);
  ++default_database_counter_;
}

void ZetoApplication::SetCharacterSet(std::string_view value) {
  charset_.assign(value);
  ++charset_counter_;
  is_utf8_ = EqualsNoCase(value, "utf-8");
}

void ZetoApplication::ReportInputError(std::string_view message) {
  WriteError(message);
}
void ZetoApplication::ReportFatalError(std::string_view message) {
  WriteError(message);
}
void ZetoApplication::ReportTimeout(std::string_view message) {
  WriteError(message);
}

void ZetoApplication::ReportRuntimeError(int32_t, std::string_view message, bool display) {
  if (display) WriteError(message);
}

void ZetoApplication::Abort() {
  timed_out_ = 1;
  wake_.Set();
}

}  // namespace orin
