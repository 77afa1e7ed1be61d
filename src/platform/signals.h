// Process signals for a server in the foreground: SIGINT and SIGTERM ask it
// to stop, SIGHUP to reload its settings.
#ifndef ORIN_PLATFORM_SIGNALS_H_
#define ORIN_PLATFORM_SIGNALS_H_

namespace orin {

enum class ControlSignal { kStop, kReload };

// Blocks the control signals in the calling thread (threads started later
// inherit the mask, so only WaitForControlSignal sees them) and ignores
// SIGPIPE, so that a vanished client fails a send instead of killing us.
void BlockControlSignals();
// Ignores SIGPIPE only: a reader that goes away fails the write instead of
// killing the process.
void IgnoreBrokenPipes();
// Waits for the next control signal.
ControlSignal WaitForControlSignal();

}  // namespace orin

#endif  // ORIN_PLATFORM_SIGNALS_H_
