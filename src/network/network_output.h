// NetworkOutput: an output sink that drains into a network connection, with
// a send time-out. Immediate writes and headers go to an owner sink (the
// mail client passes its own), since a raw connection has no place for them.
#ifndef ORIN_NETWORK_NETWORK_OUTPUT_H_
#define ORIN_NETWORK_NETWORK_OUTPUT_H_

#include <cstdint>
#include <string>

#include "output/buffered_output.h"

namespace orin {

class NetworkConnection;

class NetworkOutput : public BufferedOutput {
 public:
  // Neither owner (may be null) nor connection is owned.
  NetworkOutput(Output* owner, NetworkConnection* connection, int32_t buffer_size, int32_t timeout);
  // Sends what is still buffered.
  ~NetworkOutput() override;

  using Output::SetHeader;
  int32_t WriteImmediate(const char* data, int32_t length) override;
  int32_t SetHeader(const char* name, int32_t name_length, bool owns_name, const char* value,
                    int32_t value_length, bool owns_value) override;
  int32_t SetHeader(const char* name, const char* value) override;
  // The connection's timed send: the length, or -1.
  int32_t Send(const char* data, int32_t length) override;
  virtual std::string LastError();

 private:
  Output* owner_;
  NetworkConnection* connection_;
  int32_t timeout_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_NETWORK_OUTPUT_H_
