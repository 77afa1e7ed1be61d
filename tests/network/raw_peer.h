// A loopback peer of the test's own: listens on a free port and runs a
// script against each connection it accepts, on its own thread, so a test
// can check the exact bytes a client sends and answer (or misbehave).
#ifndef ORIN_TESTS_NETWORK_RAW_PEER_H_
#define ORIN_TESTS_NETWORK_RAW_PEER_H_

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace orin {

class RawPeer {
 public:
  using Script = std::function<void(Socket&, RawPeer&)>;

  // Serves up to `connections` connections, one after the other.
  explicit RawPeer(Script script, int connections = 1) : script_(std::move(script)) {
    std::string error;
    if (ListenTcp("127.0.0.1", 0, 8, &listener_, &error) != ListenStatus::kListening) return;
    port_ = listener_.LocalPort();
    thread_ = std::thread([this, connections] {
      for (int i = 0; i < connections && !stop_; ++i) {
        Socket s;
        std::string e;
        while (!stop_ && listener_.WaitReadable(50) == false) {
        }
        if (stop_ || AcceptConnection(listener_, &s, &e) != 1) continue;
        script_(s, *this);
      }
    });
  }
  ~RawPeer() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }
  bool stopping() const { return stop_; }

  // Reads exactly n bytes (or until the client closes or 5 s pass) and
  // records them.
  std::string ReadBytes(Socket& s, size_t n) {
    std::string got;
    char buf[4096];
    while (got.size() < n) {
      int32_t r = s.Receive(buf, static_cast<int32_t>(std::min(sizeof buf, n - got.size())), 5000);
      if (r <= 0) break;
      got.append(buf, static_cast<size_t>(r));
    }
    Record(got);
    return got;
  }
  // Reads until `end` has been seen (or the client closes).
  std::string ReadUntil(Socket& s, const std::string& end) {
    std::string got;
    char c;
    while (got.size() < end.size() || got.compare(got.size() - end.size(), end.size(), end) != 0) {
      if (s.Receive(&c, 1, 5000) != 1) break;
      got.push_back(c);
    }
    Record(got);
    return got;
  }
  static void Send(Socket& s, const std::string& bytes) {
    s.SendAll(bytes.data(), static_cast<int32_t>(bytes.size()), 5000);
  }
  // Waits until the test stops the peer, or the client closes.
  void HoldOpen(Socket& s) {
    while (!stop_) {
      if (s.WaitReadable(50)) {
        char c;
        if (s.Receive(&c, 1, 0) <= 0) return;
      }
    }
  }
  // Everything the peer read, in order.
  std::string received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void Record(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    received_ += bytes;
  }

  Script script_;
  Socket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string received_;
};

}  // namespace orin

#endif  // ORIN_TESTS_NETWORK_RAW_PEER_H_
