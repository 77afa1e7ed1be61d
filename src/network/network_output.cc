#include "network/network_output.h"

#include "network/network_connection.h"

namespace orin {

NetworkOutput::NetworkOutput(Output* owner, NetworkConnection* connection, int32_t buffer_size,
                             int32_t timeout)
    : BufferedOutput(buffer_size), owner_(owner), connection_(connection), timeout_(timeout) {}

NetworkOutput::~NetworkOutput() {
  Flush();
}

int32_t NetworkOutput::WriteImmediate(const char* data, int32_t length) {
  return owner_ ? owner_->WriteImmediate(data, length) : 0;
}

int32_t NetworkOutput::SetHeader(const char* name, int32_t name_length, bool owns_name,
                                 const char* value, int32_t value_length, bool owns_value) {
  if (owner_ == nullptr)
    return Output::SetHeader(name, name_length, owns_name, value, value_length, owns_value);
  return owner_->SetHeader(name, name_length, owns_name, value, value_length, owns_value);
}

int32_t NetworkOutput::SetHeader(const char* name, const char* value) {
  return owner_ ? owner_->SetHeader(name, value) : 0;
}

int32_t NetworkOutput::Send(const char* data, int32_t length) {
  return connection_->Write(data, length, timeout_);
}

std::string NetworkOutput::LastError() {
  return connection_->ErrorText();
}

}  // namespace orin
