// SiteServer: the HTTP server serving one site with the script runs of this
// application layer — the glue between src/server (sockets, threads,
// static files) and OrinApplication (scripts).
#ifndef ORIN_APP_SITE_SERVER_H_
#define ORIN_APP_SITE_SERVER_H_

#include <memory>
#include <string>

#include "app/orin_application.h"
#include "server/server_environment.h"

namespace orin {

class HTTPServer;

// What the site is: the settings file with overrides, and where to listen.
struct SiteSettings {
  RunSettings run;           // settings file and overrides (zetoroot, datadir, --set)
  std::string bind_address;  // empty: every interface
  int port = -1;             // -1: the configured port
  int wait_millis = 30000;   // client waits
  int tick_millis = 5000;    // watchdog interval
};

class SiteServer : public ServerEnvironment, public ScriptRunner {
 public:
  explicit SiteServer(SiteSettings settings);
  ~SiteServer() override;

  // Starts listening; false with ErrorText (port_in_use() tells a taken
  // port apart from other failures).
  bool Start();
  void Stop();
  // Every connection thread reads the settings again.
  void Reload();

  int port() const;
  bool port_in_use() const;
  const std::string& ErrorText() const;
  const std::string& HostName() const;
  // The script root and data directory as configured now.
  std::string ScriptRoot();
  std::string DataDirectory();

  // ServerEnvironment
  ServerSettings LoadSettings() override;
  std::unique_ptr<ScriptArea> NewScriptArea() override;
  // ScriptRunner
  std::unique_ptr<ScriptApplication> CreateApplication(ClientRequest& request,
                                                       const std::string& script_path,
                                                       const std::string& file_path,
                                                       const FileIdentity& identity) override;

 private:
  SiteSettings settings_;
  std::unique_ptr<HTTPServer> server_;
};

}  // namespace orin

#endif  // ORIN_APP_SITE_SERVER_H_
