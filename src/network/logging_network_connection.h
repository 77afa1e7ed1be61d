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

}  // namespace orin

#endif  // ORIN_NETWORK_LOGGING_NETWORK_CONNECTION_H_
