// Asynchronous tasks of a request.
//
// OrinAsynchronousApplication is one task: its own copy of the request's
// settings and file roots, a ClonedZetoVM made from the request's machine
// at the block, no client (its output goes nowhere) and the time limit
// `asynctimeout`. Its errors go to the log and the error reports, never to
// the request's response.
//
// AsyncTasks is the request's list of tasks, each on an OrinTaskThread. The
// request application ticks and aborts them with itself, and waits for
// them before it is destroyed, so a task never outlives the variables and
// program it shares with its request: when the request's script ends its
// response is finished and sent (the connection's sending side is shut)
// and the tasks still running go on until they end, time out or the
// server stops (which aborts them).
#ifndef ORIN_APP_ORIN_ASYNC_APPLICATION_H_
#define ORIN_APP_ORIN_ASYNC_APPLICATION_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "app/error_reporter.h"
#include "app/orin_base_application.h"
#include "app/run_log.h"
#include "server/thread.h"

namespace orin {

class ClonedZetoVM;
class ZetoVM;

class OrinAsynchronousApplication : public OrinBaseApplication {
 public:
  // Made on the request's thread from `request` and its `machine`.
  OrinAsynchronousApplication(OrinBaseApplication& request, ZetoVM& machine, uint32_t isolation);
  ~OrinAsynchronousApplication() override;

  // Starts the task's clock and log on the calling thread; then Run runs
  // the task to its end on that thread and releases the machine (locks,
  // databases) there.
  void Begin();
  void Run();

  int32_t StartAsyncTask(ZetoVM*, uint32_t) override { return kAsyncNested; }
  std::string LockHostname() override { return lock_hostname_; }

  void ReportInputError(std::string_view message) override;
  void ReportFatalError(std::string_view message) override;
  void ReportTimeout(std::string_view message) override;
  void ReportRuntimeError(int32_t tag, std::string_view message, bool display) override;
  void WriteLogLine(uint32_t event, const LogField* fields) override;
  uint32_t LogLevel() override;

  uint32_t isolation() const { return isolation_; }
  const std::string& server_name() const { return server_name_; }
  int32_t server_port() const { return server_port_; }

 protected:
  int32_t GlobalTimeoutSeconds() override;
  int32_t PostTimeoutSeconds() override { return 0; }

 private:
  uint32_t isolation_;
  std::string server_name_;
  int32_t server_port_ = 0;
  std::string lock_hostname_;
  ErrorReporter error_reporter_;
  std::unique_ptr<RunLog> run_log_;  // made on the task's thread, with its id
  std::unique_ptr<ClonedZetoVM> machine_;
};

// The thread a task runs on; the task's application is its current one
// while it runs, so ticks and aborts reach it under the thread's lock.
class OrinTaskThread : public TaskThread {
 public:
  explicit OrinTaskThread(Procedure procedure) : TaskThread(nullptr, std::move(procedure)) {}
};

class AsyncTasks {
 public:
  // `owner` is the request application, woken whenever a task ends.
  explicit AsyncTasks(ZetoApplication* owner) : owner_(owner) {}
  // Aborts what still runs and joins every thread.
  ~AsyncTasks();
  AsyncTasks(const AsyncTasks&) = delete;
  AsyncTasks& operator=(const AsyncTasks&) = delete;

  // Runs `task` on a new thread. False when the thread does not start or
  // AbortAll was called.
  bool Start(std::unique_ptr<OrinAsynchronousApplication> task);
  // Tasks started so far, and those not yet ended.
  int32_t started() const { return started_.load(); }
  int32_t Running();
  // Waits up to `milliseconds` (negative: no limit) until no task runs or
  // `stop` is set; returns how many still run.
  int32_t Wait(int32_t milliseconds, const std::atomic<int32_t>* stop);
  // Makes Wait look at its stop flag again.
  void Notify();
  // The watchdog's tick and the server's abort, passed to every task; after
  // AbortAll no task starts.
  void Tick(time_t now);
  void AbortAll();
  // Waits for every task without limit and joins the threads.
  void JoinAll();

 private:
  struct Entry {
    std::unique_ptr<OrinAsynchronousApplication> application;
    std::unique_ptr<OrinTaskThread> thread;
    bool ended = false;
  };
  // Joins and drops threads whose task has ended (not under the lock).
  void Reap();

  ZetoApplication* owner_;
  std::mutex lock_;
  std::condition_variable ended_;
  std::list<Entry> entries_;  // guarded by lock_
  int32_t running_ = 0;       // guarded by lock_
  bool aborted_ = false;      // guarded by lock_
  std::atomic<int32_t> started_{0};
};

}  // namespace orin

#endif  // ORIN_APP_ORIN_ASYNC_APPLICATION_H_
