#include "network/network_service.h"

#include "network/network_manager.h"

namespace orin {

bool NetworkService::Connect() {
  if (manager_ == nullptr) return Fail("Error connecting to '" + host_ + "': no network");
  connection_ = manager_->Connect(host_, port_, timeout_);
  if (!connection_) return Fail("Error connecting to '" + host_ + "': " + manager_->ErrorText());
  return true;
}

bool NetworkService::Send(std::string_view text) {
  if (!connection_) return Fail("TCP connection not established");
  if (connection_->Write(text, timeout_) < 0) return Fail(connection_->ErrorText());
  return true;
}

}  // namespace orin
