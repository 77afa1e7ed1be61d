// DescriptorSink: a ByteSink over a socket or any other file descriptor.
//
// Sockets are written without blocking and without SIGPIPE, so a congested
// or vanished client shows up as a result. Other descriptors (standard
// output, a pipe) are written as they were opened; a program writing to a
// pipe should ignore SIGPIPE to see a closed reader as an error.
#ifndef ORIN_PLATFORM_DESCRIPTOR_SINK_H_
#define ORIN_PLATFORM_DESCRIPTOR_SINK_H_

#include <string>

#include "util/byte_sink.h"

namespace orin {

class DescriptorSink : public ByteSink {
 public:
  // The descriptor stays the caller's; it is not closed here.
  explicit DescriptorSink(int fd);

  int32_t SendSome(const char* data, int32_t length) override;
  int WaitWritable(int32_t milliseconds) override;
  const std::string& ErrorText() const override { return error_; }

  bool is_socket() const { return is_socket_; }

 private:
  int fd_;
  bool is_socket_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_PLATFORM_DESCRIPTOR_SINK_H_
