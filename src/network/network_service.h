// NetworkService: the base of the line-oriented mail clients. It holds the
// server's host, port and time-out and the open connection, and connects
// through the manager's proxy-aware connect.
#ifndef ORIN_NETWORK_NETWORK_SERVICE_H_
#define ORIN_NETWORK_NETWORK_SERVICE_H_

#include <memory>
#include <string>
#include <string_view>

#include "network/network_connection.h"

namespace orin {

class NetworkManager;

class NetworkService {
 public:
  NetworkService(NetworkManager* manager, std::string host, int port, int timeout)
      : manager_(manager), host_(std::move(host)), port_(port), timeout_(timeout) {}
  virtual ~NetworkService() = default;
  NetworkService(const NetworkService&) = delete;
  NetworkService& operator=(const NetworkService&) = delete;

  // False with "Error connecting to '<host>': " + the manager's message.
  virtual bool Connect();
  // Writes all of `text`; false with the connection's message.
  bool Send(std::string_view text);
  void Close() { connection_.reset(); }

  const std::string& ErrorText() const { return error_; }
  NetworkConnection* connection() const { return connection_.get(); }
  const std::string& host() const { return host_; }
  int timeout() const { return timeout_; }

 protected:
  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  NetworkManager* manager_;
  std::string host_;
  int port_;
  int timeout_;
  std::unique_ptr<NetworkConnection> connection_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_NETWORK_SERVICE_H_
