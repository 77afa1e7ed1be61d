// RunWatchdog: ticks one application at a fixed interval from a thread of
// its own, so that its time limits take effect when no server's thread
// manager watches it (the `orin run` command).
#ifndef ORIN_APP_RUN_WATCHDOG_H_
#define ORIN_APP_RUN_WATCHDOG_H_

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orin {

class ZetoApplication;

class RunWatchdog {
 public:
  RunWatchdog(ZetoApplication* app, std::chrono::milliseconds interval);
  ~RunWatchdog();  // stops and joins
  RunWatchdog(const RunWatchdog&) = delete;
  RunWatchdog& operator=(const RunWatchdog&) = delete;

 private:
  void Loop();

  ZetoApplication* app_;
  std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace orin

#endif  // ORIN_APP_RUN_WATCHDOG_H_
