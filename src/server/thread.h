// Thread and TaskThread: the threads a ThreadManager runs.
//
// A Thread runs its work (Main, by default a procedure) once per Start and
// has a manual-reset stop event that the work is expected to watch; when
// the work ends a managed thread tells its manager, which joins and deletes
// it. A TaskThread also carries the application it is running, so that the
// manager's watchdog can tick and abort that application.
#ifndef ORIN_SERVER_THREAD_H_
#define ORIN_SERVER_THREAD_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/event.h"

namespace orin {

class ThreadManager;

class Thread {
 public:
  using Procedure = std::function<void(Thread&)>;

  // A thread of `manager` (which is told when the work ends), or a free
  // thread when manager is null; its owner then joins it.
  explicit Thread(ThreadManager* manager, Procedure procedure = nullptr);
  // Joins a thread that is still running.
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Clears the stop event and starts the work; false (ErrorText) when the
  // thread cannot be created or is already running.
  bool Start();
  void RequestStop() { stop_event_.Set(); }
  bool StopRequested() const { return stop_event_.IsSet(); }
  Event& stop_event() { return stop_event_; }
  void Join();
  // The kernel's id of the thread, 0 until it runs.
  uint32_t thread_id() const { return thread_id_.load(); }
  ThreadManager* manager() const { return manager_; }
  const std::string& ErrorText() const { return error_; }

 protected:
  // The thread's work: the procedure given at construction.
  virtual void Main();

 private:
  void Body();

  ThreadManager* manager_;
  Procedure procedure_;
  Event stop_event_{Event::kManualReset};
  std::thread thread_;
  std::atomic<uint32_t> thread_id_{0};
  std::string error_;
};

// What the watchdog needs of a running application.
class WatchedApplication {
 public:
  virtual ~WatchedApplication() = default;
  // Called by the watchdog about once per tick interval with the wall-clock
  // seconds; checks deadlines and wakes sleeping waits.
  virtual void Tick(int64_t now) = 0;
  // Asks the run to stop as soon as it can (flags only; never blocks).
  virtual void Abort() = 0;
  // The server is stopping: work the run keeps going in the background
  // (asynchronous tasks) stops; the run itself may finish.
  virtual void Stopping() {}
};

class TaskThread : public Thread {
 public:
  using Thread::Thread;

  // Makes `application` the one Tick and Abort reach (null: none). The
  // caller owns it and must clear it here before deleting it; the lock makes
  // sure the watchdog is not inside it at that moment.
  void SetCurrentApplication(WatchedApplication* application);

  // Called from the watchdog thread; passed on to the current application.
  virtual void Tick(int64_t now);
  virtual void Abort();
  virtual void Stopping();

 private:
  std::mutex lock_;
  WatchedApplication* current_application_ = nullptr;  // guarded by lock_
};

// Keeps an application current on a task thread for the life of the scope.
class CurrentApplicationScope {
 public:
  CurrentApplicationScope(TaskThread& thread, WatchedApplication* application) : thread_(thread) {
    thread_.SetCurrentApplication(application);
  }
  ~CurrentApplicationScope() { thread_.SetCurrentApplication(nullptr); }
  CurrentApplicationScope(const CurrentApplicationScope&) = delete;
  CurrentApplicationScope& operator=(const CurrentApplicationScope&) = delete;

 private:
  TaskThread& thread_;
};

}  // namespace orin

#endif  // ORIN_SERVER_THREAD_H_
