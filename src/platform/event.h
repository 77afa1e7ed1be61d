// Event: a flag one thread sets and others wait for, built on an eventfd so
// that it can be waited for together with sockets (WaitReadable).
//
// A manual-reset event stays set until Reset; an auto-reset event is taken
// by the one waiter that consumes it, the others go back to waiting.
//
// The descriptor is made on first use: most events of a script run are
// never set or waited for, and a request should not pay two system calls
// for each of them.
#ifndef ORIN_PLATFORM_EVENT_H_
#define ORIN_PLATFORM_EVENT_H_

#include <atomic>
#include <cstddef>
#include <string>

namespace orin {

class Event {
 public:
  enum Mode { kManualReset, kAutoReset };

  explicit Event(Mode mode);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // False when the descriptor could not be created (ErrorText says why);
  // such an event is never set.
  bool ok() const { return Fd() >= 0; }
  const std::string& ErrorText() const { return error_; }
  int fd() const { return Fd(); }

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits up to timeout_ms (-1: no limit). True when the event was set; an
  // auto-reset event is consumed by this call.
  bool Wait(int timeout_ms);
  // To be called after WaitReadable reported the descriptor: an auto-reset
  // event is consumed and true returned only to the waiter that got it.
  bool Consume();

 private:
  // The descriptor, made now if it does not exist yet (any thread).
  int Fd() const;

  Mode mode_;
  mutable std::atomic<int> fd_{-1};
  mutable std::string error_;
};

// Waits for any of a fixed set of descriptors to become readable, through
// one epoll instance per waiter. A descriptor added as exclusive wakes only
// one of the waiters that share it (a listening socket shared by the
// connection threads), instead of all of them.
class ReadyWaiter {
 public:
  ReadyWaiter();
  ~ReadyWaiter();
  ReadyWaiter(const ReadyWaiter&) = delete;
  ReadyWaiter& operator=(const ReadyWaiter&) = delete;

  // Adds a descriptor; its index is the number added before it. False
  // (ErrorText) when it cannot be watched.
  bool Add(int fd, bool exclusive);
  // The lowest index among the ready descriptors, -1 when timeout_ms passed
  // (-1: no limit), -2 on failure.
  int Wait(int timeout_ms);
  const std::string& ErrorText() const { return error_; }

 private:
  int epoll_fd_ = -1;
  int count_ = 0;
  std::string error_;
};

// Waits until one of the descriptors is readable (or hung up). Returns the
// lowest index among the ready ones, -1 when timeout_ms passed (-1: no
// limit), -2 on failure.
int WaitReadable(const int* fds, size_t count, int timeout_ms);

}  // namespace orin

#endif  // ORIN_PLATFORM_EVENT_H_
