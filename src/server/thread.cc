#include "server/thread.h"

#include <system_error>

#include "platform/clock.h"
#include "platform/process_info.h"
#include "server/thread_manager.h"

namespace orin {

Thread::Thread(ThreadManager* manager, Procedure procedure)
    : manager_(manager), procedure_(std::move(procedure)) {}

Thread::~Thread() {
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // deleted by its own work: nothing left to wait for
  } else {
    Join();
  }
}

bool Thread::Start() {
  if (thread_.joinable()) {
    error_ = "The thread is already running";
    return false;
  }
  if (!stop_event_.ok()) {
    error_ = stop_event_.ErrorText();
    return false;
  }
  stop_event_.Reset();
  try {
    thread_ = std::thread(&Thread::Body, this);
  } catch (const std::system_error& e) {
    error_ = e.what();
    return false;
  }
  return true;
}

void Thread::Join() {
  if (thread_.joinable()) thread_.join();
}

void Thread::Main() {
  if (procedure_) procedure_(*this);
}

void Thread::Body() {
  thread_id_.store(CurrentThreadId());
  Main();
  if (manager_ != nullptr) manager_->ThreadFinished(this);
}

void TaskThread::SetCurrentApplication(WatchedApplication* application) {
  std::lock_guard<std::mutex> hold(lock_);
  current_application_ = application;
}

void TaskThread::Tick(int64_t now) {
  std::lock_guard<std::mutex> hold(lock_);
  if (current_application_ != nullptr) current_application_->Tick(now);
}

void TaskThread::Abort() {
  std::lock_guard<std::mutex> hold(lock_);
  if (current_application_ != nullptr) current_application_->Abort();
}

void TaskThread::Stopping() {
  std::lock_guard<std::mutex> hold(lock_);
  if (current_application_ != nullptr) current_application_->Stopping();
}

}  // namespace orin
