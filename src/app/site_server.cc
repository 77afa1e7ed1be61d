#include "app/site_server.h"

#include <algorithm>

#include "app/orin_config_loader.h"
#include "files/file_environment.h"
#include "files/file_manager.h"
#include "server/client_request.h"
#include "server/http_listener_thread.h"
#include "server/http_server.h"
#include "server/script_area.h"
#include "util/config.h"

namespace orin {

namespace {

// The request as the server received it: its body is read from the request
// and the response written to its connection, the one owner of the socket.
class ClientRequestAdapter : public Request {
 public:
  ClientRequestAdapter(ClientRequest& request, std::string server_name, int32_t port)
      : request_(request),
        server_name_(std::move(server_name)),
        port_(port) {
    if (const ByteString* q = request.query_string()) {
      query_ = q->str();
      has_query_ = true;
    }
  }

  std::string_view Method() const override { return request_.method().view(); }
  std::string_view Path() const override { return request_.path().view(); }
  const std::string* QueryString() const override { return has_query_ ? &query_ : nullptr; }
  std::string_view Protocol() const override { return request_.protocol().view(); }
  std::string_view RemoteAddress() const override { return request_.remote_address(); }
  const HashTable<ByteString>& Headers() const override { return request_.headers(); }
  BodySource* Body() override { return &request_; }
  ByteSink* ResponseSink() override { return request_.connection(); }
  int32_t SendWaitMillis() const override {
    return request_.connection() ? request_.connection()->wait_millis()
                                 : ClientConnection::kDefaultWaitMillis;
  }
  void EndResponse() override {
    if (request_.connection()) request_.connection()->socket().ShutdownWrite();
  }
  std::string_view ServerName() const override { return server_name_; }
  int32_t ServerPort() const override { return port_; }

 private:
  ClientRequest& request_;
  std::string server_name_;
  int32_t port_;
  std::string query_;
  bool has_query_ = false;
};

// One script run on a connection thread, ticked and aborted by the
// server's watchdog through the thread.
class SiteApplication : public ScriptApplication {
 public:
  SiteApplication(ClientRequest& request, std::string script_path, RunSettings settings,
                  std::string server_name, int32_t port, const std::string& file_path,
                  const FileIdentity& identity)
      : adapter_(request, std::move(server_name), port),
        app_(&adapter_, std::move(script_path), std::move(settings)) {
    app_.SetProgramFile(file_path, identity);
  }

  int Run() override { return app_.Run(); }
  void Tick(int64_t now) override { app_.Tick(static_cast<time_t>(now)); }
  void Abort() override { app_.Abort(); }
  void Stopping() override { app_.AbortTasks(); }

 private:
  ClientRequestAdapter adapter_;
  OrinApplication app_;
};

// The connection thread's view of the script area: the sandboxed file
// manager, answering its questions with fixed values as a connection
// thread does.
class FileManagerScriptArea : public ScriptArea {
 public:
  FileManagerScriptArea() : files_(&environment_) {}

  bool SetRoot(const std::string& root) override {
    if (files_.SetScriptDirectory(root)) return true;
    error_ = files_.ErrorText();
    return false;
  }

  bool Resolve(std::string_view request_path, std::string* file_path, bool* is_directory,
               FileIdentity* identity) override {
    FilePath resolved;
    FileStatus status;
    if (!files_.ResolvePath(kScriptArea, request_path, &resolved) ||
        !files_.StatOf(kScriptArea, request_path, &status)) {
      error_ = files_.ErrorText();
      return false;
    }
    *file_path = resolved.Canonical();
    *is_directory = status.directory;
    if (identity != nullptr) {
      identity->device = status.device;
      identity->inode = status.inode;
      identity->size = status.regular ? status.size : -1;
      identity->modified_ns = status.modified_seconds * 1000000000 + status.modified_nanoseconds;
      identity->changed_ns = status.changed_ns;
    }
    return true;
  }

  std::unique_ptr<Stream> OpenForReading(const std::string& file_path, int64_t* size) override {
    std::unique_ptr<File> file = files_.Open(file_path, kOpenRead | kOpenMustExist);
    if (!file) {
      error_ = files_.ErrorText();
      return nullptr;
    }
    *size = file->Size();
    return file;
  }

  const std::string& ErrorText() const override { return error_; }

 private:
  SimpleFileEnvironment environment_;
  FileManager files_;
  std::string error_;
};

}  // namespace

SiteServer::SiteServer(SiteSettings settings)
    : settings_(std::move(settings)),
      server_(std::make_unique<HTTPServer>(*this, settings_.tick_millis)) {
  server_->SetScriptRunner(this);
  // Requests open the script and data directories once, not each time.
  FileManager::ShareRoots(true);
}

SiteServer::~SiteServer() {
  Stop();
}

bool SiteServer::Start() {
  return server_->Listen();
}
void SiteServer::Stop() {
  if (server_->listening()) server_->StopListening();
}
void SiteServer::Reload() {
  FileManager::ForgetSharedRoots();
  server_->NotifyConfigChanged();
}
int SiteServer::port() const {
  return server_->port();
}
bool SiteServer::port_in_use() const {
  return server_->port_in_use();
}
const std::string& SiteServer::ErrorText() const {
  return server_->ErrorText();
}
const std::string& SiteServer::HostName() const {
  return server_->HostName();
}

namespace {

// The configuration as a run would see it: the file, then the overrides.
void LoadSiteConfig(const RunSettings& run, OrinConfigLoader* loader) {
  loader->Load();
  std::string ignored;  // overrides were checked when the command line was read
  ApplyConfigOverrides(loader, run.overrides, &ignored);
}

}  // namespace

std::string SiteServer::ScriptRoot() {
  OrinConfigLoader loader(settings_.run.files);
  LoadSiteConfig(settings_.run, &loader);
  return std::string(loader.GetText(config_key::kDirZeto));
}

std::string SiteServer::DataDirectory() {
  OrinConfigLoader loader(settings_.run.files);
  LoadSiteConfig(settings_.run, &loader);
  return std::string(loader.GetText(config_key::kDirData));
}

ServerSettings SiteServer::LoadSettings() {
  OrinConfigLoader loader(settings_.run.files);
  LoadSiteConfig(settings_.run, &loader);
  ServerSettings s;
  s.bind_address = settings_.bind_address;
  s.port = settings_.port >= 0 ? settings_.port : loader.port();
  s.zetoroot = std::string(loader.GetText(config_key::kDirZeto));
  std::string_view default_file = loader.GetText(config_key::kDefaultFile);
  if (!default_file.empty()) s.defaultfile = std::string(default_file);
  s.wait_millis = settings_.wait_millis;
  int32_t head_seconds = loader.GetInt(config_key::kTimeoutHeader);
  s.head_timeout_millis = head_seconds > 0 ? std::min(head_seconds, 86400) * 1000 : 0;
  return s;
}

std::unique_ptr<ScriptArea> SiteServer::NewScriptArea() {
  return std::make_unique<FileManagerScriptArea>();
}

std::unique_ptr<ScriptApplication> SiteServer::CreateApplication(ClientRequest& request,
                                                                 const std::string& script_path,
                                                                 const std::string& file_path,
                                                                 const FileIdentity& identity) {
  RunSettings run = settings_.run;
  run.port = server_->port();
  return std::make_unique<SiteApplication>(request, script_path, std::move(run),
                                           server_->HostName(), server_->port(), file_path,
                                           identity);
}

}  // namespace orin
