#include "platform/event.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/plain_file.h"

namespace orin {

namespace {
std::mutex& CreationLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

Event::Event(Mode mode) : mode_(mode) {}

Event::~Event() {
  int fd = fd_.load();
  if (fd >= 0) ::close(fd);
}

// Two threads may want the descriptor at once (the watchdog sets an event
// its run is about to wait for); the lock makes exactly one.
int Event::Fd() const {
  int fd = fd_.load(std::memory_order_acquire);
  if (fd >= 0) return fd;
  std::lock_guard<std::mutex> hold(CreationLock());
  fd = fd_.load(std::memory_order_acquire);
  if (fd >= 0) return fd;
  fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) {
    error_ = SystemErrorText(errno);
    return -1;
  }
  fd_.store(fd, std::memory_order_release);
  return fd;
}

void Event::Set() {
  int fd = Fd();
  if (fd < 0) return;
  uint64_t one = 1;
  // Only fails when the counter would overflow, i.e. it is set already.
  [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

void Event::Reset() {
  // An event that was never made was never set.
  int fd = fd_.load(std::memory_order_acquire);
  if (fd < 0) return;
  uint64_t value;
  [[maybe_unused]] ssize_t n = ::read(fd, &value, sizeof value);
}

bool Event::IsSet() const {
  int fd = fd_.load(std::memory_order_acquire);
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

bool Event::Consume() {
  int fd = fd_.load(std::memory_order_acquire);
  if (fd < 0) return false;
  if (mode_ == kManualReset) return IsSet();
  uint64_t value;
  return ::read(fd, &value, sizeof value) == sizeof value;
}

bool Event::Wait(int timeout_ms) {
  int fd = Fd();
  if (fd < 0) return false;
  int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    int r = WaitReadable(&fd, 1, timeout_ms);
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

ReadyWaiter::ReadyWaiter() {
  epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_fd_ < 0) error_ = SystemErrorText(errno);
}

ReadyWaiter::~ReadyWaiter() {
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
}

bool ReadyWaiter::Add(int fd, bool exclusive) {
  if (epoll_fd_ < 0) return false;
  epoll_event e{};
  e.events = EPOLLIN | (exclusive ? EPOLLEXCLUSIVE : 0u);
  e.data.u32 = static_cast<uint32_t>(count_);
  if (::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &e) != 0) {
    error_ = SystemErrorText(errno);
    return false;
  }
  ++count_;
  return true;
}

int ReadyWaiter::Wait(int timeout_ms) {
  if (epoll_fd_ < 0) return -2;
  epoll_event events[8];
  int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    int n = ::epoll_wait(epoll_fd_, events, 8, timeout_ms);
    if (n > 0) {
      int lowest = INT32_MAX;
      for (int i = 0; i < n; ++i)
        lowest = std::min(lowest, static_cast<int>(events[i].data.u32));
      return lowest;
    }
    if (n == 0) return -1;
    if (errno != EINTR) {
      error_ = SystemErrorText(errno);
      return -2;
    }
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMillis();
      timeout_ms = left > 0 ? static_cast<int>(left) : 0;
    }
  }
}

}  // namespace orin
