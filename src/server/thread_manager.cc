#include "server/thread_manager.h"

#include <algorithm>

#include "platform/clock.h"

namespace orin {

ThreadManager::ThreadManager(int tick_millis) : tick_millis_(tick_millis > 0 ? tick_millis : 1) {}

ThreadManager::~ThreadManager() {
  Stop();
}

bool ThreadManager::Start() {
  if (manager_thread_ != nullptr) return true;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_requested_ = false;
    stopping_ = false;
  }
  manager_thread_ = std::make_unique<Thread>(nullptr, [this](Thread&) { RunManager(); });
  if (!manager_thread_->Start()) {
    error_ = manager_thread_->ErrorText();
    manager_thread_.reset();
    std::lock_guard<std::mutex> hold(lock_);
    stop_requested_ = true;
    return false;
  }
  return true;
}

void ThreadManager::Stop() {
  if (manager_thread_ == nullptr) return;
  RequestStop();
  manager_thread_->Join();
  manager_thread_.reset();
}

bool ThreadManager::running() const {
  std::lock_guard<std::mutex> hold(lock_);
  return !stop_requested_;
}

bool ThreadManager::AddThread(std::unique_ptr<TaskThread> thread) {
  std::lock_guard<std::mutex> hold(lock_);
  if (stop_requested_) {
    error_ = "The thread manager is not running";
    return false;
  }
  // Started under the lock: the thread's ThreadFinished waits for it, so it
  // cannot be reaped before it is fully started and listed.
  if (!thread->Start()) {
    error_ = thread->ErrorText();
    return false;
  }
  threads_.push_back(std::move(thread));
  return true;
}

size_t ThreadManager::ThreadCount() const {
  std::lock_guard<std::mutex> hold(lock_);
  return threads_.size();
}

void ThreadManager::RequestStop() {
  std::lock_guard<std::mutex> hold(lock_);
  stop_requested_ = true;
  wake_.notify_all();
}

void ThreadManager::ThreadFinished(Thread* thread) {
  std::lock_guard<std::mutex> hold(lock_);
  finished_.push_back(thread);
  wake_.notify_all();
}

void ThreadManager::TickAll(int64_t now) {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& t : threads_)
    t->Tick(now);
}

void ThreadManager::AbortAll() {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& t : threads_)
    t->Abort();
}

void ThreadManager::StopAllLocked() {
  stopping_ = true;
  watchdog_->RequestStop();
  for (auto& t : threads_) {
    t->RequestStop();
    t->Stopping();
  }
}

// Joins and deletes the finished threads outside the lock, so that a thread
// still on its way out is never waited for while the lock is held.
void ThreadManager::ReapLocked(std::unique_lock<std::mutex>& hold) {
  std::vector<std::unique_ptr<TaskThread>> done;
  for (Thread* f : finished_) {
    auto it = std::find_if(threads_.begin(), threads_.end(),
                           [f](const std::unique_ptr<TaskThread>& t) { return t.get() == f; });
    if (it == threads_.end()) continue;
    done.push_back(std::move(*it));
    threads_.erase(it);
  }
  finished_.clear();
  hold.unlock();
  for (auto& t : done)
    t->Join();
  done.clear();
  hold.lock();
}

void ThreadManager::RunManager() {
  watchdog_ = std::make_unique<Thread>(nullptr, [this](Thread& self) {
    while (!self.stop_event().Wait(tick_millis_))
      TickAll(WallClockSeconds());
  });
  bool watching = watchdog_->Start();
  std::unique_lock<std::mutex> hold(lock_);
  if (!watching) error_ = watchdog_->ErrorText();
  for (;;) {
    wake_.wait(hold, [this] { return (stop_requested_ && !stopping_) || !finished_.empty(); });
    if (stop_requested_ && !stopping_) StopAllLocked();
    ReapLocked(hold);
    if (stopping_ && threads_.empty()) break;
  }
  hold.unlock();
  watchdog_->Join();
  watchdog_.reset();
}

}  // namespace orin
