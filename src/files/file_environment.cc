#include "files/file_environment.h"

#include "platform/process_info.h"

namespace orin {

namespace {

int64_t SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

uint32_t FileEnvironment::ProcessId() const {
  return CurrentProcessId();
}

uint32_t FileEnvironment::ThreadId() const {
  return CurrentThreadId();
}

SimpleFileEnvironment::SimpleFileEnvironment() : host_name_(HostName()) {}

bool SimpleFileEnvironment::TimedOut() const {
  if (timed_out_.load()) return true;
  int64_t deadline = deadline_.load();
  return deadline != 0 && SteadyNow() >= deadline;
}

void SimpleFileEnvironment::SetDeadline(std::chrono::milliseconds duration) {
  deadline_.store(SteadyNow() +
                  std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count());
}

}  // namespace orin
