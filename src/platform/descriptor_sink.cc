#include "platform/descriptor_sink.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/plain_file.h"

namespace orin {

DescriptorSink::DescriptorSink(int fd) : fd_(fd) {
  struct stat st;
  is_socket_ = ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

int32_t DescriptorSink::SendSome(const char* data, int32_t length) {
  if (length <= 0) return 0;
  for (;;) {
    ssize_t n = is_socket_
                    ? ::send(fd_, data, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL)
                    : ::write(fd_, data, static_cast<size_t>(length));
    if (n > 0) return static_cast<int32_t>(n);
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    error_ = SystemErrorText(errno);
    return -1;
  }
}

int DescriptorSink::WaitWritable(int32_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    struct pollfd p = {fd_, POLLOUT, 0};
    int r = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (r > 0) return 1;  // writable, or an error the next send reports
    if (r == 0) return 0;
    if (errno == EINTR) continue;
    error_ = SystemErrorText(errno);
    return -1;
  }
}

}  // namespace orin
