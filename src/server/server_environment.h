// What the HTTP server takes from the rest of the system: its settings, a
// script area per connection thread, and a runner for compiled scripts.
// The configuration, the file manager and the applications provide them
// through small adapters, so the server does not depend on those layers.
#ifndef ORIN_SERVER_SERVER_ENVIRONMENT_H_
#define ORIN_SERVER_SERVER_ENVIRONMENT_H_

#include <memory>
#include <string>

#include "server/script_area.h"
#include "server/thread.h"

namespace orin {

class ClientRequest;

struct ServerSettings {
  std::string bind_address;  // dotted IPv4; empty means every local interface
  int port = 80;             // 0 picks a free port
  std::string zetoroot;      // the script root
  std::string defaultfile = "index.ztc";
  int wait_millis = 30000;  // limit of every wait for a client's bytes or room to send
  // Limit for the whole request head, from the accept on; 0: none (the
  // head collector still holds at most HeadCollector::kMaxConnections).
  int head_timeout_millis = 30000;
};

class ServerEnvironment {
 public:
  virtual ~ServerEnvironment() = default;
  // Reads the current settings. Called by Listen and by every connection
  // thread when it starts and when told that the configuration changed, so
  // possibly from several threads at once.
  virtual ServerSettings LoadSettings() = 0;
  // A new script area for one connection thread.
  virtual std::unique_ptr<ScriptArea> NewScriptArea() = 0;
};

// One script run, created for a request and driven by its connection
// thread: made the thread's current application (so the watchdog ticks and
// can abort it), run, cleared, deleted.
class ScriptApplication : public WatchedApplication {
 public:
  // Runs the request to its end, response included. Returns 0 when the
  // script ran and 1 when the request ended before it could.
  virtual int Run() = 0;
};

class ScriptRunner {
 public:
  virtual ~ScriptRunner() = default;
  // Creates the run for a request naming a compiled script. `script_path` is
  // the request path with the default file appended for a directory (for
  // example "/a/index.ztc"); `file_path` is where the script area resolved
  // it, and `identity` which version of the file it found there (unknown
  // when the area cannot tell). Called on connection threads, several at
  // once. Null means the run could not even be created; the server then
  // answers with a 500 page.
  virtual std::unique_ptr<ScriptApplication> CreateApplication(ClientRequest& request,
                                                               const std::string& script_path,
                                                               const std::string& file_path,
                                                               const FileIdentity& identity) = 0;
};

}  // namespace orin

#endif  // ORIN_SERVER_SERVER_ENVIRONMENT_H_
