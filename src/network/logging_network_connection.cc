#include "network/logging_network_connection.h"

#include "network/network_manager.h"

namespace orin {

int32_t LoggingNetworkConnection::Read(char* buffer, int32_t size, int timeout) {
  int32_t n = inner_->Read(buffer, size, timeout);
  if (n < 0) {
    ReadFailed(inner_->ErrorText());
  } else {
    DataRead(buffer, n);
  }
  return n;
}

int32_t LoggingNetworkConnection::ReadLine(std::string* line, int timeout, int32_t chunk_size) {
  int32_t n = inner_->ReadLine(line, timeout, chunk_size);
  if (n < 0) {
    ReadFailed(inner_->ErrorText());
  } else {
    DataRead(line->data(), n);
  }
  return n;
}

int32_t LoggingNetworkConnection::Write(const char* data, int32_t length, int timeout) {
  int32_t n = inner_->Write(data, length, timeout);
  if (n < 0) {
    WriteFailed(inner_->ErrorText());
  } else {
    DataWritten(data, n);
  }
  return n;
}

}  // namespace orin
