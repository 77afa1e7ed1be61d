#include "server/http_server.h"

#include <memory>

#include "server/http_listener_thread.h"

namespace orin {

HTTPServer::HTTPServer(ServerEnvironment& environment, int tick_millis)
    : ThreadManager(tick_millis), environment_(environment), host_name_(LocalHostName()) {}

HTTPServer::~HTTPServer() {
  StopListening();
}

bool HTTPServer::FailListen(const std::string& reason) {
  error_ = "Error in HTTPServer::Listen(): " + reason;
  Stop();
  collector_ = nullptr;
  ready_.Clear();
  listen_socket_.Close();
  port_ = -1;
  return false;
}

bool HTTPServer::Listen() {
  StopListening();
  error_.clear();
  port_in_use_ = false;
  ServerSettings settings = environment_.LoadSettings();
  std::string reason;
  switch (ListenTcp(settings.bind_address, settings.port, kThreadCount, &listen_socket_, &reason)) {
    case ListenStatus::kBindFailed:
      port_in_use_ = true;
      error_ = reason;
      return false;
    case ListenStatus::kFailed:
      return FailListen(reason);
    case ListenStatus::kListening:
      break;
  }
  host_name_ = LocalHostName();
  port_ = listen_socket_.LocalPort();
  if (!Start()) return FailListen(ThreadManager::ErrorText());
  auto collector = std::make_unique<HeadCollector>(this, &ready_);
  HeadCollector* collector_thread = collector.get();
  if (!AddThread(std::move(collector))) return FailListen(ThreadManager::ErrorText());
  collector_ = collector_thread;
  for (int i = 0; i < kThreadCount; ++i) {
    if (!AddThread(std::make_unique<HTTPListenerThread>(this, listen_socket_.fd()))) {
      return FailListen(ThreadManager::ErrorText());
    }
  }
  listening_ = true;
  return true;
}

void HTTPServer::StopListening() {
  if (!listening_) return;
  Stop();
  collector_ = nullptr;
  ready_.Clear();  // heads that no thread took any more
  listen_socket_.Close();
  listening_ = false;
}

void HTTPServer::NotifyConfigChanged() {
  ForEachThread([](TaskThread& thread) {
    if (auto* listener = dynamic_cast<HTTPListenerThread*>(&thread)) {
      listener->NotifyConfigChanged();
    }
  });
}

}  // namespace orin
