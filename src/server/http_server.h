// HTTPServer: the listening socket, the pool of five connection threads and
// the head collector (server/head_collector.h) that waits for slow clients
// on their behalf, run by the server's thread manager (whose watchdog also ticks the script
// runs on those threads and any task threads added later).
//
// Lifecycle: created (not listening) -> Listen (socket open, threads
// running) -> StopListening (threads stopped and deleted, socket closed)
// -> Listen again (a port change) ... -> destroyed (stops first).
#ifndef ORIN_SERVER_HTTP_SERVER_H_
#define ORIN_SERVER_HTTP_SERVER_H_

#include <atomic>
#include <string>

#include "platform/socket.h"
#include "server/head_collector.h"
#include "server/server_environment.h"
#include "server/thread_manager.h"

namespace orin {

class HTTPServer : public ThreadManager {
 public:
  // Both the number of connection threads and the listen backlog.
  static constexpr int kThreadCount = 5;

  explicit HTTPServer(ServerEnvironment& environment, int tick_millis = kDefaultTickMillis);
  ~HTTPServer() override;

  // Opens the listening socket on the configured address and port and
  // starts the connection threads; a running server is stopped first.
  // False when it failed: port_in_use() tells that the address or port
  // could not be bound (ErrorText has the system's reason); any other
  // failure leaves "Error in HTTPServer::Listen(): " + reason in ErrorText.
  bool Listen();
  // Stops every thread, waiting without limit for running requests, and
  // closes the listening socket.
  virtual void StopListening();
  // Makes every connection thread reload its settings.
  virtual void NotifyConfigChanged();
  // The machine's host name, taken at Listen ("127.0.0.1" when unknown).
  const std::string& HostName() const { return host_name_; }

  bool listening() const { return listening_; }
  bool port_in_use() const { return port_in_use_; }
  // The port actually listened on (the chosen one after port 0), or -1.
  int port() const { return port_; }

  // The runner for compiled scripts; set before Listen. Without one a
  // request for a compiled script gets a 500 page.
  void SetScriptRunner(ScriptRunner* runner) { runner_.store(runner); }
  ScriptRunner* script_runner() const { return runner_.load(); }
  ServerEnvironment& environment() const { return environment_; }
  const Socket& listen_socket() const { return listen_socket_; }
  // Connections whose head arrived late, for the connection threads.
  ConnectionQueue& ready_connections() { return ready_; }
  // Null while not listening.
  HeadCollector* head_collector() const { return collector_; }
  const std::string& ErrorText() const { return error_; }

 private:
  bool FailListen(const std::string& reason);

  ServerEnvironment& environment_;
  ConnectionQueue ready_;
  HeadCollector* collector_ = nullptr;  // owned by the thread manager
  std::atomic<ScriptRunner*> runner_{nullptr};
  Socket listen_socket_;
  std::string host_name_;
  int port_ = -1;
  bool listening_ = false;
  bool port_in_use_ = false;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_SERVER_HTTP_SERVER_H_
