#include "server/thread_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/clock.h"
#include "platform/process_info.h"
#include "server/server_test_support.h"

namespace orin {
namespace {

using testing_support::kGuardMillis;

// Waits for a condition that another thread makes true; the limit only
// keeps a broken build from hanging.
template <typename F>
bool Eventually(std::mutex& m, std::condition_variable& cv, F&& done) {
  std::unique_lock<std::mutex> hold(m);
  return cv.wait_for(hold, std::chrono::milliseconds(kGuardMillis), done);
}

class RecordingApplication : public WatchedApplication {
 public:
  void Tick(int64_t now) override {
    std::lock_guard<std::mutex> hold(m_);
    ++ticks_;
    last_now_ = now;
    cv_.notify_all();
  }
  void Abort() override {
    std::lock_guard<std::mutex> hold(m_);
    aborted_ = true;
    cv_.notify_all();
  }
  bool WaitForTicks(int n) {
    return Eventually(m_, cv_, [&] { return ticks_ >= n; });
  }
  bool WaitForAbort() {
    return Eventually(m_, cv_, [&] { return aborted_; });
  }
  int ticks() {
    std::lock_guard<std::mutex> hold(m_);
    return ticks_;
  }
  int64_t last_now() {
    std::lock_guard<std::mutex> hold(m_);
    return last_now_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  int ticks_ = 0;
  int64_t last_now_ = 0;
  bool aborted_ = false;
};

// Counts threads that have left their work.
struct ExitCounter {
  std::mutex m;
  std::condition_variable cv;
  int exits = 0;
  void Exit() {
    std::lock_guard<std::mutex> hold(m);
    ++exits;
    cv.notify_all();
  }
};

TEST(ThreadManager, WatchdogTicksTheCurrentApplicationAndAbortAllReachesIt) {
  int64_t before = WallClockSeconds();
  ThreadManager manager(5);
  ASSERT_TRUE(manager.Start());
  RecordingApplication app;
  std::atomic<bool> saw_abort{false};
  ASSERT_TRUE(manager.AddThread(std::make_unique<TaskThread>(&manager, [&](Thread& self) {
    CurrentApplicationScope current(static_cast<TaskThread&>(self), &app);
    saw_abort = app.WaitForAbort();
  })));
  ASSERT_TRUE(app.WaitForTicks(3));
  // Ticks carry the wall clock.
  EXPECT_GE(app.last_now(), before);
  EXPECT_LE(app.last_now(), WallClockSeconds());
  manager.AbortAll();
  // The thread ends on the abort and the manager reaps it by itself.
  for (int i = 0; i < 6000 && manager.ThreadCount() > 0; ++i) {  // a minute at most
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(saw_abort);
  EXPECT_EQ(manager.ThreadCount(), 0u);
  manager.Stop();
}

TEST(ThreadManager, ClearedApplicationIsNoLongerReached) {
  ThreadManager manager(2);
  ASSERT_TRUE(manager.Start());
  RecordingApplication cleared_app;
  RecordingApplication witness;
  std::mutex m;
  std::condition_variable cv;
  int ticks_at_clear = -1;
  ASSERT_TRUE(manager.AddThread(std::make_unique<TaskThread>(&manager, [&](Thread& self) {
    auto& task = static_cast<TaskThread&>(self);
    task.SetCurrentApplication(&cleared_app);
    cleared_app.WaitForTicks(2);
    task.SetCurrentApplication(nullptr);
    {
      std::lock_guard<std::mutex> hold(m);
      ticks_at_clear = cleared_app.ticks();
    }
    cv.notify_all();
    task.stop_event().Wait(-1);
  })));
  ASSERT_TRUE(Eventually(m, cv, [&] { return ticks_at_clear >= 2; }));
  ASSERT_TRUE(manager.AddThread(std::make_unique<TaskThread>(&manager, [&](Thread& self) {
    CurrentApplicationScope current(static_cast<TaskThread&>(self), &witness);
    self.stop_event().Wait(-1);
  })));
  // The watchdog went on ticking (the witness sees it) but no longer reached
  // the cleared application.
  EXPECT_TRUE(witness.WaitForTicks(5));
  EXPECT_EQ(cleared_app.ticks(), ticks_at_clear);
  manager.Stop();
  EXPECT_EQ(manager.ThreadCount(), 0u);
}

TEST(ThreadManager, StopEndsEveryThreadAndStartWorksAgain) {
  ThreadManager manager(1000);
  ExitCounter counter;
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(manager.Start());
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(manager.AddThread(std::make_unique<TaskThread>(&manager, [&](Thread& self) {
        self.stop_event().Wait(-1);
        counter.Exit();
      })));
    }
    EXPECT_EQ(manager.ThreadCount(), 4u);
    manager.Stop();
    EXPECT_EQ(manager.ThreadCount(), 0u);
    EXPECT_EQ(counter.exits, 4 * round);  // all ended before Stop returned
    EXPECT_FALSE(manager.running());
  }
  // A stopped manager takes no new threads.
  EXPECT_FALSE(manager.AddThread(std::make_unique<TaskThread>(&manager)));
  EXPECT_EQ(manager.ErrorText(), "The thread manager is not running");
}

TEST(ThreadManager, ThreadsThatFinishAloneAreReaped) {
  ThreadManager manager(1000);
  ASSERT_TRUE(manager.Start());
  ExitCounter counter;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(manager.AddThread(
        std::make_unique<TaskThread>(&manager, [&](Thread&) { counter.Exit(); })));
  }
  ASSERT_TRUE(Eventually(counter.m, counter.cv, [&] { return counter.exits == 20; }));
  for (int i = 0; i < 6000 && manager.ThreadCount() > 0; ++i) {  // a minute at most
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(manager.ThreadCount(), 0u);
  manager.Stop();
}

TEST(Thread, FreeThreadRunsItsProcedureAndSeesItsStopEvent) {
  std::atomic<uint32_t> id{0};
  Thread t(nullptr, [&](Thread& self) {
    id = CurrentThreadId();
    self.stop_event().Wait(-1);
  });
  ASSERT_TRUE(t.Start());
  EXPECT_FALSE(t.Start());  // already running
  t.RequestStop();
  t.Join();
  EXPECT_NE(id.load(), 0u);
  EXPECT_EQ(t.thread_id(), id.load());
  EXPECT_NE(id.load(), CurrentThreadId());
  ASSERT_TRUE(t.Start());  // the stop event is cleared for the new run
  EXPECT_FALSE(t.StopRequested());
  t.RequestStop();
}

TEST(Event, AutoResetWakesOneWaiterManualResetStaysSet) {
  Event automatic(Event::kAutoReset);
  Event manual(Event::kManualReset);
  ASSERT_TRUE(automatic.ok() && manual.ok());
  EXPECT_FALSE(automatic.Wait(0));
  automatic.Set();
  automatic.Set();  // setting twice is still one wake
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0));
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  manual.Reset();
  EXPECT_FALSE(manual.IsSet());
  const int fds[2] = {automatic.fd(), manual.fd()};
  EXPECT_EQ(WaitReadable(fds, 2, 0), -1);
  manual.Set();
  automatic.Set();
  EXPECT_EQ(WaitReadable(fds, 2, 0), 0);  // the lowest ready index
}

}  // namespace
}  // namespace orin
