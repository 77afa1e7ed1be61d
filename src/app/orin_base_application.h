// OrinBaseApplication: owns what a run works with — its configuration view,
// file manager, output sink and machine — and answers the machine's and
// the file manager's questions from them. Base of the request application
// and of asynchronous task applications.
#ifndef ORIN_APP_ORIN_BASE_APPLICATION_H_
#define ORIN_APP_ORIN_BASE_APPLICATION_H_

#include <memory>
#include <string>

#include "app/library_setup.h"
#include "app/orin_config.h"
#include "app/vm_application.h"
#include "files/file_environment.h"
#include "output/null_output.h"

namespace orin {

class FileManager;
class NetworkManager;
class OrinBaseApplication;

// The file manager's view of its application.
class ApplicationFileEnvironment : public FileEnvironment {
 public:
  explicit ApplicationFileEnvironment(OrinBaseApplication* app) : app_(app) {}
  int32_t MaxFiles() const override;
  int32_t FileDelay() const override;
  int32_t LockExpiration() const override;
  int32_t FileTimeout() const override;
  std::string LockHostName() const override;
  uint32_t ProcessId() const override;
  uint32_t ThreadId() const override;
  bool TimedOut() const override;

 private:
  OrinBaseApplication* app_;
};

class OrinBaseApplication : public VMApplication {
 public:
  // `config` is the run's configuration view (owned).
  explicit OrinBaseApplication(std::unique_ptr<OrinConfig> config);
  ~OrinBaseApplication() override;

  FileManager* GetFileManager() override { return files_.get(); }
  ExternalLibraryManager* GetExternalLibraryManager() override { return libraries_.libraries(); }
  CommerceLibraryManager* GetCommerceLibraryManager() override { return &libraries_.commerce(); }
  ExternalDatabaseLibraryManager* GetExternalDatabaseLibraryManager() override {
    return &libraries_.databases();
  }
  SystemLibraryManager* GetSystemLibraryManager() override { return &libraries_.systems(); }
  const LibraryRegistry& RegisteredLibraries(LibraryRegistryKind kind) override {
    return libraries_.Registry(kind);
  }
  // Made on first use: most runs open no connection.
  NetworkManager* GetNetworkManager() override;
  // Whether the TLS library loads (it is loaded once per process).
  bool EnsureSsl() override;
  Config* GetConfig() override { return config_.get(); }
  Output* GetOutput() override { return output_; }
  Output* SetOutput(Output* sink) override;

  uint32_t ProcessId() override { return process_id_; }
  uint32_t ThreadId() override { return thread_id_; }
  // The configured lock host name, or the machine's (stored on first use).
  std::string LockHostname() override;
  int32_t LockExpiration() override;

  OrinConfig* config() { return config_.get(); }

 protected:
  int32_t GlobalTimeoutSeconds() override;
  int32_t PostTimeoutSeconds() override;

  std::unique_ptr<OrinConfig> config_;
  // What the configuration registers for this run.
  RunLibraries libraries_;
  RunLibraryRegistrar library_registrar_{&libraries_, config_.get()};
  ApplicationFileEnvironment file_environment_{this};
  std::unique_ptr<FileManager> files_;
  std::unique_ptr<NetworkManager> network_;
  NullOutput null_output_;
  Output* output_ = &null_output_;
  uint32_t process_id_;
  uint32_t thread_id_;
};

}  // namespace orin

#endif  // ORIN_APP_ORIN_BASE_APPLICATION_H_
