// LoggingNetworkConnection: forwards reads, line reads and writes to the
// connection it wraps and reports each result (data or failure) to a
// subclass, which shows the traffic where it is wanted.
#ifndef ORIN_NETWORK_LOGGING_NETWORK_CONNECTION_H_
#define ORIN_NETWORK_LOGGING_NETWORK_CONNECTION_H_

#include <memory>
#include <string>

#include "network/network_connection.h"

namespace orin {

class LoggingNetworkConnection : public NetworkConnection {
 public:
  explicit LoggingNetworkConnection(std::unique_ptr<NetworkConnection> inner)
      : NetworkConnection(inner->manager()), inner_(std::move(inner)) {}

  int32_t Read(char* buffer, int32_t size, int timeout) override;
  int32_t ReadLine(std::string* line, int timeout, int32_t chunk_size) override;
  int32_t Write(const char* data, int32_t length, int timeout) override;
  const std::string& ErrorText() const override { return inner_->ErrorText(); }
  void SetError(std::string_view text) override { inner_->SetError(text); }
  using NetworkConnection::Write;

  NetworkConnection* inner() const { return inner_.get(); }

 protected:
  virtual void DataRead(const char* data, int32_t length) = 0;
  virtual void ReadFailed(const std::string& error) = 0;
  virtual void DataWritten(const char* data, int32_t length) = 0;
  virtual void WriteFailed(const std::string& error) = 0;

 private:
  std::unique_ptr<NetworkConnection> inner_;
};

// NetworkService: the base of the line-oriented mail clients: a host, port
// and time-out, and a connection made through the proxy-aware connect.
class NetworkManager;

class NetworkService {
 public:
  NetworkService(NetworkManager* manager, std::string host, int port, int timeout)
      : manager_(manager), host_(std::move(host)), port_(port), timeout_(timeout) {}
  virtual ~NetworkService() = default;

  // False with ErrorText() "Error connecting to '<host>': " + the reason.
  virtual bool Connect();
  NetworkConnection* connection() const { return connection_.get(); }
  const std::string& ErrorText() const { return error_; }
  int timeout() const { return timeout_; }

 protected:
  NetworkManager* manager_;
  std::string host_;
  int port_;
  int timeout_;
  std::unique_ptr<NetworkConnection> connection_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_LOGGING_NETWORK_CONNECTION_H_
