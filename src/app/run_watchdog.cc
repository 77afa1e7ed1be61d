#include "app/run_watchdog.h"

#include "platform/clock.h"
#include "vm/zeto_application.h"

namespace orin {

RunWatchdog::RunWatchdog(ZetoApplication* app, std::chrono::milliseconds interval)
    : app_(app), interval_(interval), thread_([this] { Loop(); }) {}

RunWatchdog::~RunWatchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void RunWatchdog::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stop_; })) {
    app_->Tick(static_cast<time_t>(WallClockSeconds()));
  }
}

}  // namespace orin
