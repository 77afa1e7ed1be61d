// ThreadManager: owns a list of task threads, reaps them when they finish
// and runs the watchdog that ticks their applications.
//
// Start creates the manager thread, which runs RunManager: it starts the
// watchdog (a thread that calls TickAll every tick interval until stopped)
// and then waits for finished threads, joining and deleting each. Stop asks
// every thread to stop and waits until the list is empty and the watchdog
// has ended. The list is guarded by one mutex; TickAll, AbortAll and
// ForEachThread hold it, so a thread is never deleted under them.
#ifndef ORIN_SERVER_THREAD_MANAGER_H_
#define ORIN_SERVER_THREAD_MANAGER_H_

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/thread.h"

namespace orin {

class ThreadManager {
 public:
  static constexpr int kDefaultTickMillis = 5000;

  explicit ThreadManager(int tick_millis = kDefaultTickMillis);
  // Stops and waits for every thread.
  virtual ~ThreadManager();
  ThreadManager(const ThreadManager&) = delete;
  ThreadManager& operator=(const ThreadManager&) = delete;

  // Starts the manager thread (and with it the watchdog); true when it runs.
  // Start and Stop belong to the owner's thread.
  bool Start();
  // Asks every thread to stop and waits without limit until all have ended
  // and been deleted. Start may be called again afterwards.
  void Stop();
  // True between Start and the first stop request.
  bool running() const;

  // Adds a thread to the list and starts it; the manager owns it from now
  // on. False (ErrorText) when the manager is not running or is stopping, or
  // the thread does not start; the thread is then deleted.
  bool AddThread(std::unique_ptr<TaskThread> thread);
  size_t ThreadCount() const;
  // Calls f(TaskThread&) on every listed thread, holding the list lock.
  template <typename F>
  void ForEachThread(F&& f) {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& t : threads_)
      f(*t);
  }

  // The manager loop, run on the manager thread.
  virtual void RunManager();
  // Makes RunManager stop every thread, then end.
  virtual void RequestStop();
  // Tick (now) on every thread; the watchdog calls it.
  virtual void TickAll(int64_t now);
  virtual void AbortAll();
  // Called by a managed thread whose work has ended.
  virtual void ThreadFinished(Thread* thread);

  int tick_millis() const { return tick_millis_; }
  const std::string& ErrorText() const { return error_; }

 private:
  void StopAllLocked();
  void ReapLocked(std::unique_lock<std::mutex>& hold);

  const int tick_millis_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::vector<std::unique_ptr<TaskThread>> threads_;  // guarded by lock_
  std::vector<Thread*> finished_;                     // guarded by lock_
  bool stop_requested_ = true;  // also while no manager runs; guarded by lock_
  bool stopping_ = false;       // guarded by lock_
  std::unique_ptr<Thread> manager_thread_;
  std::unique_ptr<Thread> watchdog_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_SERVER_THREAD_MANAGER_H_
