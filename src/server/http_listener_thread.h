// HTTPListenerThread: one of the server's connection threads.
//
// It waits on its stop event, the listening socket, the server's queue of
// connections whose head arrived late, and its reload event (in that order
// of precedence). The listening socket and the queue wake one idle thread
// each, not all of them. A thread that accepts reads what the client sent;
// a complete head is answered at once, an incomplete one goes to the head
// collector (server/head_collector.h) so that a slow client never holds a
// thread. The thread answers one request at a time and closes the
// connection before waiting again, so at most as many requests are served
// at once as there are threads.
//
// Answering: a path of 259 bytes or more gets the 400 page; the path is
// resolved in the thread's script area (a directory through its default
// file) or gets the 404 page; a compiled script is run through the server's
// ScriptRunner as the thread's current application; anything else is sent
// as a static file.
#ifndef ORIN_SERVER_HTTP_LISTENER_THREAD_H_
#define ORIN_SERVER_HTTP_LISTENER_THREAD_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/event.h"
#include "platform/socket.h"
#include "server/client_request.h"
#include "server/server_environment.h"
#include "server/thread.h"

namespace orin {

class HTTPServer;

class HTTPListenerThread : public TaskThread {
 public:
  HTTPListenerThread(HTTPServer* server, int listen_fd);

  HTTPServer* server() const { return server_; }
  // The thread's own settings and script area; use only on this thread.
  const ServerSettings& settings() const { return settings_; }
  ScriptArea* script_area() { return area_.get(); }

  // Makes the thread reload its settings before its next request; may be
  // called from any thread.
  void NotifyConfigChanged() { reload_event_.Set(); }

 protected:
  void Main() override;

 private:
  void LoadConfiguration();
  void Accept();
  void Serve(AcceptedConnection connection);
  void Handle(ClientRequest& request);
  void RunScript(ClientRequest& request, const std::string& script_path,
                 const std::string& file_path, const FileIdentity& identity);
  void SendStaticFile(ClientConnection& out, std::string_view path, const std::string& file_path,
                      std::string_view content_type);

  HTTPServer* server_;
  int listen_fd_;
  Event reload_event_{Event::kAutoReset};
  ServerSettings settings_;
  std::unique_ptr<ScriptArea> area_;
};

}  // namespace orin

#endif  // ORIN_SERVER_HTTP_LISTENER_THREAD_H_
