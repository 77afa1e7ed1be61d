#include "server/http_listener_thread.h"

#include "platform/clock.h"
#include "server/content_type.h"
#include "server/head_collector.h"
#include "server/http_server.h"
#include "server/responses.h"
#include "util/ascii.h"

namespace orin {

namespace {

// After a failed accept (out of descriptors, say) the listening socket stays
// readable; pausing keeps the thread from spinning until things improve.
constexpr int kRetryMillis = 100;
constexpr int32_t kBlockSize = 8192;

std::string WithDefaultFile(std::string_view path, const std::string& default_file) {
  std::string r(path);
  if (!r.empty() && r.back() != '/') r += '/';
  return r + default_file;
}

}  // namespace

HTTPListenerThread::HTTPListenerThread(HTTPServer* server, int listen_fd)
    : TaskThread(server), server_(server), listen_fd_(listen_fd) {}

void HTTPListenerThread::LoadConfiguration() {
  settings_ = server_->environment().LoadSettings();
  if (settings_.wait_millis <= 0) settings_.wait_millis = ServerSettings().wait_millis;
  if (area_ == nullptr) area_ = server_->environment().NewScriptArea();
  if (area_ != nullptr) area_->SetRoot(settings_.zetoroot);  // refused: every path is a 404
}

void HTTPListenerThread::Main() {
  LoadConfiguration();
  ConnectionQueue& queue = server_->ready_connections();
  enum { kStop, kListen, kQueue, kReload, kCount };
  const int fds[kCount] = {stop_event().fd(), listen_fd_, queue.ready().fd(), reload_event_.fd()};
  // Shared descriptors wake one waiting thread; without epoll every thread
  // wakes and all but one find nothing.
  ReadyWaiter waiter;
  bool exclusive = true;
  for (int i = 0; i < kCount && exclusive; ++i)
    exclusive = waiter.Add(fds[i], i == kListen || i == kQueue);
  for (;;) {
    int ready = exclusive ? waiter.Wait(-1) : WaitReadable(fds, kCount, -1);
    if (ready == kStop) return;
    if (ready < -1) {
      stop_event().Wait(kRetryMillis);  // the wait itself failed (out of memory)
    } else if (ready == kListen) {
      Accept();
    } else if (ready == kQueue) {
      AcceptedConnection connection;
      if (queue.ready().Consume() && queue.Pop(&connection)) Serve(std::move(connection));
    } else if (ready == kReload && reload_event_.Consume()) {
      LoadConfiguration();
    }
  }
}

void HTTPListenerThread::Accept() {
  AcceptedConnection connection;
  std::string error;
  int accepted =
      AcceptConnection(server_->listen_socket(), &connection.socket, &error, &connection.peer);
  if (accepted < 0) stop_event().Wait(kRetryMillis);
  if (accepted <= 0) return;
  char block[kBlockSize];
  int32_t n = connection.socket.ReceiveNow(block, kBlockSize);
  if (n > 0) connection.received.assign(block, static_cast<size_t>(n));
  if (n == 0 || n == -1) {
    // Closed or failed: whatever arrived is all there will be.
    if (!connection.received.empty()) Serve(std::move(connection));
    return;
  }
  if (n > 0 && HeadComplete(connection.received)) {
    Serve(std::move(connection));
    return;
  }
  HeadCollector* collector = server_->head_collector();
  int64_t deadline = settings_.head_timeout_millis > 0
                         ? MonotonicMillis() + settings_.head_timeout_millis
                         : 0;
  // Refused when the collector is full: the connection closes unanswered.
  if (collector != nullptr) collector->Add(std::move(connection), deadline, settings_.wait_millis);
}

void HTTPListenerThread::Serve(AcceptedConnection connection) {
  ClientRequest request(this, std::move(connection), settings_.wait_millis);
  switch (request.Parse()) {
    case ClientRequest::ParseResult::kNoRequest:
      return;  // closed without a word
    case ClientRequest::ParseResult::kRequestLineTooLong:
      request.connection()->Send(BadRequestResponse(kUriTooLong));
      return;
    case ClientRequest::ParseResult::kHeadersTooLarge:
      request.connection()->Send(BadRequestResponse(kHeadersTooLarge));
      return;
    case ClientRequest::ParseResult::kParsed:
      Handle(request);
      return;
  }
}

void HTTPListenerThread::Handle(ClientRequest& request) {
  ClientConnection& out = *request.connection();
  std::string_view path = request.path().view();
  if (path.size() >= kMaxPathLength) {
    out.Send(BadRequestResponse(kUriTooLong));
    return;
  }
  std::string file;
  bool directory = false;
  FileIdentity identity;
  if (area_ == nullptr || !area_->Resolve(path, &file, &directory, &identity)) {
    out.Send(NotFoundResponse(path));
    return;
  }
  std::string script_path(path);
  if (directory) {
    script_path = WithDefaultFile(path, settings_.defaultfile);
    if (!area_->Resolve(script_path, &file, &directory, &identity) || directory) {
      out.Send(NotFoundResponse(path));
      return;
    }
  }
  std::string_view type = ContentTypeOf(file);
  if (EqualsNoCase(type, kCompiledScriptType)) {
    RunScript(request, script_path, file, identity);
  } else {
    SendStaticFile(out, path, file, type);
  }
}

void HTTPListenerThread::RunScript(ClientRequest& request, const std::string& script_path,
                                   const std::string& file_path, const FileIdentity& identity) {
  ScriptRunner* runner = server_->script_runner();
  std::unique_ptr<ScriptApplication> application;
  if (runner != nullptr) {
    application = runner->CreateApplication(request, script_path, file_path, identity);
  }
  if (application == nullptr) {
    request.connection()->Send(ServerErrorResponse(
        "The script '" + script_path + "' cannot be run: " +
        (runner ? "its run could not be created" : "no script runner is installed")));
    return;
  }
  CurrentApplicationScope current(*this, application.get());
  application->Run();
}

void HTTPListenerThread::SendStaticFile(ClientConnection& out, std::string_view path,
                                        const std::string& file_path,
                                        std::string_view content_type) {
  int64_t size = 0;
  std::unique_ptr<Stream> stream = area_->OpenForReading(file_path, &size);
  if (stream == nullptr) {
    out.Send(NotFoundResponse(path));
    return;
  }
  std::string head = StaticFileHead(content_type, static_cast<uint64_t>(size));
  if (out.Send(head) != static_cast<int32_t>(head.size())) return;
  char block[kBlockSize];
  for (;;) {
    int32_t n = stream->Read(block, kBlockSize);
    if (n <= 0 || out.Send(block, n) != n) return;  // end, read error, or the client stalled
  }
}

}  // namespace orin
