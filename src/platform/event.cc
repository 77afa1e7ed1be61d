#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/plain_file.h"

namespace orin {

Event::Event(Mode mode) : mode_(mode) {
  fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd_ < 0) error_ = SystemErrorText(errno);
}

Event::~Event() {
  if (fd_ >= 0) ::close(fd_);
}

void Event::Set() {
  if (fd_ < 0) return;
  uint64_t one = 1;
  // Only fails when the counter would overflow, i.e. it is set already.
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void Event::Reset() {
  if (fd_ < 0) return;
  uint64_t value;
  [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
}

bool Event::IsSet() const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

bool Event::Consume() {
  if (fd_ < 0) return false;
  if (mode_ == kManualReset) return IsSet();
  uint64_t value;
  return ::read(fd_, &value, sizeof value) == sizeof value;
}

bool Event::Wait(int timeout_ms) {
  if (fd_ < 0) return false;
  int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    int r = WaitReadable(&fd_, 1, timeout_ms);
    if (r != 0) return false;
    if (Consume()) return true;
    // Another waiter took an auto-reset event; wait for the rest of the time.
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMillis();
      if (left <= 0) return false;
      timeout_ms = static_cast<int>(left);
    }
  }
}

// Restarts poll after a signal with the time that is left.
int WaitReadable(const int* fds, size_t count, int timeout_ms) {
  std::vector<pollfd> polls(count);
  for (size_t i = 0; i < count; ++i)
    polls[i] = pollfd{fds[i], POLLIN, 0};
  int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    int r = ::poll(polls.data(), polls.size(), timeout_ms);
    if (r > 0) break;
    if (r == 0) return -1;
    if (errno != EINTR) return -2;
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMillis();
      timeout_ms = left > 0 ? static_cast<int>(left) : 0;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    if (polls[i].revents != 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace orin
