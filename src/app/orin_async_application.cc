#include "app/orin_async_application.h"

#include <utility>

#include "app/orin_config.h"
#include "files/file_manager.h"
#include "platform/process_info.h"
#include "util/config.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"
#include "vm/cloned_vm.h"

namespace orin {

namespace {

std::string SystemText(ZetoVM& machine, const char* name) {
  Variable* v = nullptr;
  if (machine.System() == nullptr || !machine.System()->Find(&v, name, -1, false) || !v) return {};
  return v->Value().str();
}

// What the thread's watchdog hooks reach while the task runs.
class TaskWatch : public WatchedApplication {
 public:
  explicit TaskWatch(OrinAsynchronousApplication* app) : app_(app) {}
  void Tick(int64_t now) override { app_->Tick(static_cast<time_t>(now)); }
  void Abort() override { app_->Abort(); }

 private:
  OrinAsynchronousApplication* app_;
};

}  // namespace

OrinAsynchronousApplication::OrinAsynchronousApplication(OrinBaseApplication& request,
                                                         ZetoVM& machine, uint32_t isolation)
    : OrinBaseApplication(std::make_unique<OrinConfig>(*request.config())),
      isolation_(isolation),
      server_name_(SystemText(machine, "server_name")),
      lock_hostname_(request.LockHostname()),
      error_reporter_(config_.get()) {
  std::string port = SystemText(machine, "server_port");
  server_port_ = port.empty() ? 0 : std::atoi(port.c_str());
  files_->CopyRoots(*request.GetFileManager());
  SetLanguage(request.Language());
  SetDefaultLanguage(request.DefaultLanguage());
  SetDefaultDatabase(request.DefaultDatabase());
  SetCharacterSet(request.CharacterSet());
  machine_ = std::make_unique<ClonedZetoVM>(machine, this, isolation);
}

OrinAsynchronousApplication::~OrinAsynchronousApplication() = default;

void OrinAsynchronousApplication::Begin() {
  // Locks and log lines name the thread that runs the task.
  thread_id_ = CurrentThreadId();
  run_log_ = std::make_unique<RunLog>(config_.get(), process_id_, thread_id_);
  StartGlobalTimer();
}

void OrinAsynchronousApplication::Run() {
  if (machine_->Tracing(kLogTaskStart)) machine_->WriteTrace(kLogTaskStart, {});
  machine_->Run();
  if (machine_->Tracing(kLogTaskEnd)) machine_->WriteTrace(kLogTaskEnd, {});
  machine_->Release();
  machine_.reset();
}

int32_t OrinAsynchronousApplication::GlobalTimeoutSeconds() {
  return config_->GetInt(config_key::kTimeoutAsync);
}

void OrinAsynchronousApplication::ReportInputError(std::string_view message) {
  error_reporter_.ReportInputError(message);
}
void OrinAsynchronousApplication::ReportFatalError(std::string_view message) {
  error_reporter_.ReportFatalError(message);
}
void OrinAsynchronousApplication::ReportTimeout(std::string_view message) {
  error_reporter_.ReportTimeout(message);
}
void OrinAsynchronousApplication::ReportRuntimeError(int32_t tag, std::string_view message, bool) {
  error_reporter_.ReportRuntimeError(tag, message);
}

void OrinAsynchronousApplication::WriteLogLine(uint32_t event, const LogField* fields) {
  if (run_log_) run_log_->WriteLogLine(event, fields);
}

uint32_t OrinAsynchronousApplication::LogLevel() {
  return run_log_ ? run_log_->LogLevel() : 0;
}

// --- AsyncTasks ---

AsyncTasks::~AsyncTasks() {
  AbortAll();
  JoinAll();
}

bool AsyncTasks::Start(std::unique_ptr<OrinAsynchronousApplication> task) {
  Reap();
  std::unique_lock<std::mutex> hold(lock_);
  if (aborted_) return false;  // the run or the server is stopping
  Entry& entry = entries_.emplace_back();
  entry.application = std::move(task);
  OrinAsynchronousApplication* app = entry.application.get();
  bool* ended = &entry.ended;
  entry.thread = std::make_unique<OrinTaskThread>([this, app, ended](Thread& self) {
    TaskWatch watch(app);
    app->Begin();
    {
      CurrentApplicationScope current(static_cast<OrinTaskThread&>(self), &watch);
      // An abort that came before the task was current did not reach it;
      // one that comes from now on does (the timer is already started, so
      // nothing clears it).
      bool aborted;
      {
        std::lock_guard<std::mutex> hold(lock_);
        aborted = aborted_;
      }
      if (aborted) app->Abort();
      app->Run();
    }
    {
      std::lock_guard<std::mutex> done(lock_);
      *ended = true;
      --running_;
    }
    ended_.notify_all();
    // The request's features and sleeps learn that a task ended.
    owner_->signal_counter().fetch_add(1, std::memory_order_relaxed);
    owner_->WakeUp();
  });
  ++running_;
  OrinTaskThread* thread = entry.thread.get();
  hold.unlock();
  if (thread->Start()) {
    started_.fetch_add(1);
    return true;
  }
  hold.lock();
  --running_;
  entries_.pop_back();  // only this thread adds entries
  return false;
}

int32_t AsyncTasks::Running() {
  std::lock_guard<std::mutex> hold(lock_);
  return running_;
}

int32_t AsyncTasks::Wait(int32_t milliseconds, const std::atomic<int32_t>* stop) {
  std::unique_lock<std::mutex> hold(lock_);
  auto done = [&] { return running_ == 0 || (stop != nullptr && stop->load() != 0); };
  if (milliseconds < 0) {
    ended_.wait(hold, done);
  } else {
    ended_.wait_for(hold, std::chrono::milliseconds(milliseconds), done);
  }
  return running_;
}

void AsyncTasks::Notify() {
  std::lock_guard<std::mutex> hold(lock_);
  ended_.notify_all();
}

void AsyncTasks::Tick(time_t now) {
  std::lock_guard<std::mutex> hold(lock_);
  for (Entry& e : entries_) {
    if (!e.ended) e.thread->Tick(now);
  }
}

void AsyncTasks::AbortAll() {
  std::lock_guard<std::mutex> hold(lock_);
  aborted_ = true;
  for (Entry& e : entries_) {
    if (!e.ended) e.thread->Abort();
  }
}

void AsyncTasks::Reap() {
  std::list<Entry> finished;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto it = entries_.begin(); it != entries_.end();) {
      auto next = std::next(it);
      if (it->ended) finished.splice(finished.end(), entries_, it);
      it = next;
    }
  }
  // Destroying a thread joins it; its task has ended.
}

void AsyncTasks::JoinAll() {
  Wait(-1, nullptr);
  std::list<Entry> all;
  {
    std::lock_guard<std::mutex> hold(lock_);
    all.splice(all.end(), entries_);
  }
}

}  // namespace orin
