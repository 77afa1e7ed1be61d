#include "app/orin_base_application.h"

#include "files/file_manager.h"
#include "output/output.h"
#include "platform/process_info.h"
#include "util/config.h"

namespace orin {

int32_t ApplicationFileEnvironment::MaxFiles() const {
  return app_->GetConfig()->GetInt(config_key::kMaxFiles);
}

// The configured delay is in microseconds for a congested response but the
// file layer waits in milliseconds; a delay below one millisecond would spin.
int32_t ApplicationFileEnvironment::FileDelay() const {
  int32_t value = app_->GetConfig()->GetInt(config_key::kDelayFile);
  return value < 1 ? 1 : value;
}

int32_t ApplicationFileEnvironment::LockExpiration() const {
  return app_->LockExpiration();
}

int32_t ApplicationFileEnvironment::FileTimeout() const {
  return app_->GetConfig()->GetInt(config_key::kTimeoutFile);
}

std::string ApplicationFileEnvironment::LockHostName() const {
  return app_->LockHostname();
}
uint32_t ApplicationFileEnvironment::ProcessId() const {
  return app_->ProcessId();
}
uint32_t ApplicationFileEnvironment::ThreadId() const {
  return app_->ThreadId();
}
bool ApplicationFileEnvironment::TimedOut() const {
  return app_->TimedOut();
}

OrinBaseApplication::OrinBaseApplication(std::unique_ptr<OrinConfig> config)
    : config_(std::move(config)),
      files_(std::make_unique<FileManager>(&file_environment_)),
      process_id_(CurrentProcessId()),
      thread_id_(CurrentThreadId()) {}

OrinBaseApplication::~OrinBaseApplication() = default;

Output* OrinBaseApplication::SetOutput(Output* sink) {
  Output* old = output_;
  if (sink == nullptr) sink = &null_output_;
  sink->SetMode(old->GetMode());
  output_ = sink;
  return old;
}

std::string OrinBaseApplication::LockHostname() {
  std::string_view configured = config_->GetText(config_key::kLockHostname);
  if (!configured.empty()) return std::string(configured);
  std::string host = HostName();
  config_->SetText(config_key::kLockHostname, host);
  return host;
}

int32_t OrinBaseApplication::LockExpiration() {
  return config_->GetInt(config_key::kLockExpiration);
}

int32_t OrinBaseApplication::GlobalTimeoutSeconds() {
  return config_->GetInt(config_key::kTimeoutGlobal);
}

int32_t OrinBaseApplication::PostTimeoutSeconds() {
  return config_->GetInt(config_key::kTimeoutPost);
}

}  // namespace orin
