#include "platform/signals.h"

#include <signal.h>

namespace orin {

namespace {

sigset_t ControlSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void BlockControlSignals() {
  sigset_t set = ControlSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  IgnoreBrokenPipes();
}

void IgnoreBrokenPipes() {
  signal(SIGPIPE, SIG_IGN);
}

ControlSignal WaitForControlSignal() {
  sigset_t set = ControlSet();
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {
  }
  return sig == SIGHUP ? ControlSignal::kReload : ControlSignal::kStop;
}

}  // namespace orin
