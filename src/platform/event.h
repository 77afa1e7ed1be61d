// Event: a flag one thread sets and others wait for, built on an eventfd so
// that it can be waited for together with sockets (WaitReadable).
//
// A manual-reset event stays set until Reset; an auto-reset event is taken
// by the one waiter that consumes it, the others go back to waiting.
#ifndef ORIN_PLATFORM_EVENT_H_
#define ORIN_PLATFORM_EVENT_H_

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
  bool ok() const { return fd_ >= 0; }
  const std::string& ErrorText() const { return error_; }
  int fd() const { return fd_; }

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
  Mode mode_;
  int fd_ = -1;
  std::string error_;
};

// Waits until one of the descriptors is readable (or hung up). Returns the
// lowest index among the ready ones, -1 when timeout_ms passed (-1: no
// limit), -2 on failure.
int WaitReadable(const int* fds, size_t count, int timeout_ms);

}  // namespace orin

#endif  // ORIN_PLATFORM_EVENT_H_
