// ZetoApplication: the environment one script run lives in, as the machine,
// the services and the libraries see it.
//
// The application owns the run's configuration view, output sink and
// managers, answers the machine's questions (time left, language, where an
// error goes) and holds the three flags the machine polls: the time-out flag
// (set by the watchdog thread), the exit flag (set by `exit`) and the signal
// counter (bumped by task threads). Those three are atomics because other
// threads write them; everything else belongs to the run's own thread.
//
// The order of the virtual operations follows the application interface
// that libraries were built against; concrete applications live in src/app.
#ifndef ORIN_VM_ZETO_APPLICATION_H_
#define ORIN_VM_ZETO_APPLICATION_H_

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "platform/event.h"
#include "vm/library_registry.h"

namespace orin {

class Config;
class FileManager;
class Output;
class Variable;
class VariableHash;
class ZetoVM;

// Managers that arrive with later subsystems.
class NetworkManager;
class ExternalLibraryManager;
class CommerceLibraryManager;
class ExternalDatabaseLibraryManager;
class SystemLibraryManager;

// One field of a log event record.
struct LogField {
  enum Type : int32_t { kText = 0, kInteger = 1, kNumber = 2, kVariable = 3, kEnd = 4 };
  Type type;
  const void* data;  // bytes, int32_t*, decimal, or Variable*
  int32_t length;
};

// Log and trace event bits (the `loglevel` mask).
enum LogEventBit : uint32_t {
  kLogFunctionCall = 0x10,
  kLogFunctionParameter = 0x20,
  kLogFunctionReturnValue = 0x40,
  kLogFunctionReturn = 0x80,
  kLogExternalCall = 0x100,
  kLogExternalParameter = 0x200,
  kLogExternalReturnValue = 0x400,
  kLogExternalReturn = 0x800,
  kLogDoEnter = 0x1000,
  kLogDoExit = 0x2000,
  kLogHttpCall = 0x100000,
  kLogSmtp = 0x200000,
  kLogTaskStart = 0x2000000,  // also "Request Start"
  kLogTaskEnd = 0x4000000,    // also "Request End"
  kLogTimedOut = 0x8000000,
  kLogRuntimeError = 0x10000000,
  kLogFatalError = 0x20000000,
  kLogTrace = 0x40000000,
};

// Results of StartAsyncTask.
enum AsyncStartResult : int32_t {
  kAsyncStarted = 0,
  kAsyncRunInline = 1,
  kAsyncFailed = 2,
  kAsyncUnsupported = 3,
  kAsyncTooMany = 4,
  kAsyncNested = 5,
};

class ZetoApplication {
 public:
  ZetoApplication();
  virtual ~ZetoApplication();
  ZetoApplication(const ZetoApplication&) = delete;
  ZetoApplication& operator=(const ZetoApplication&) = delete;

  // Managers and configuration; null when the run has none.
  virtual NetworkManager* GetNetworkManager() { return nullptr; }
  virtual FileManager* GetFileManager() = 0;
  virtual ExternalLibraryManager* GetExternalLibraryManager() { return nullptr; }
  virtual CommerceLibraryManager* GetCommerceLibraryManager() { return nullptr; }
  virtual ExternalDatabaseLibraryManager* GetExternalDatabaseLibraryManager() { return nullptr; }
  virtual SystemLibraryManager* GetSystemLibraryManager() { return nullptr; }
  virtual Config* GetConfig() = 0;

  virtual std::string_view ApiType() { return "Orin"; }
  virtual std::string_view LocalAddress() { return "127.0.0.1"; }
  // The operating system's text for its last error.
  virtual std::string SystemErrorText();

  virtual Output* GetOutput() = 0;
  // Makes `sink` current, copying the whitespace mode from the old sink;
  // returns the old sink (not destroyed).
  virtual Output* SetOutput(Output* sink) = 0;

  // Timers. The deadlines are wall-clock seconds; 0 means none.
  virtual void StartGlobalTimer();
  virtual void StartPostTimer();
  virtual void StopPostTimer();
  virtual bool TimedOut() { return timed_out_.load(std::memory_order_relaxed) != 0; }

  virtual uint32_t ProcessId();
  virtual uint32_t ThreadId();
  virtual std::string LockHostname();
  virtual int32_t LockExpiration();

  // Error text to the client: HTML-encoded, after the default headers.
  virtual int32_t WriteError(const char* text, int32_t length) = 0;
  int32_t WriteError(std::string_view text) {
    return WriteError(text.data(), static_cast<int32_t>(text.size()));
  }

  // Sleeps, returning early when the run is aborted or times out. Waits on
  // the wake event: an abort or time-out ends it at once.
  virtual void Sleep(int32_t milliseconds);
  // Like Sleep, but also ends as soon as the signal count differs from
  // `seen` (one of the run's tasks ended, possibly before the call).
  // Negative milliseconds: no time limit. True when a signal ended it.
  bool SleepUntilSignal(int32_t milliseconds, uint32_t seen);
  // Starts an asynchronous task running a copy of `machine`, which stands
  // at the first instruction of the block; see AsyncStartResult.
  virtual int32_t StartAsyncTask(ZetoVM* machine, uint32_t isolation_flags);
  // Waits up to `milliseconds` (negative: no limit) until the tasks this
  // run started have ended, the run is aborted or it times out; returns how
  // many are still running.
  virtual int32_t WaitForTasks(int32_t milliseconds) {
    (void)milliseconds;
    return 0;
  }
  // Wakes a Sleep or WaitForTasks of this run (any thread).
  void WakeUp() { wake_.Set(); }
  // Called by the watchdog with the current wall-clock time.
  virtual void Tick(time_t now);
  // Seconds left before the global time-out, -1 without one, 0 when passed.
  virtual int32_t TimeRemaining();

  // Per-run settings the system variables read and write. Each change bumps
  // its counter so cached look-ups (localized texts) notice.
  virtual std::string_view Language() { return language_; }
  virtual uint32_t LanguageCounter() { return language_counter_; }
  virtual void SetLanguage(std::string_view value);
  virtual std::string_view DefaultLanguage() { return default_language_; }
  virtual uint32_t DefaultLanguageCounter() { return default_language_counter_; }
  virtual void SetDefaultLanguage(std::string_view value);
  virtual std::string_view DefaultDatabase() { return default_database_; }
  virtual uint32_t DefaultDatabaseCounter() { return default_database_counter_; }
  virtual void SetDefaultDatabase(std::string_view value);
  virtual std::string_view CharacterSet() { return charset_; }
  virtual uint32_t CharacterSetCounter() { return charset_counter_; }
  virtual void SetCharacterSet(std::string_view value);
  virtual bool IsUtf8() { return is_utf8_; }
  // The name a library gave the run's process; "" when none.
  virtual std::string_view ProcessName() { return process_name_; }
  virtual void SetProcessName(std::string_view name) { process_name_.assign(name); }
  // The names registered for a kind of plug-in library ("zeto_config").
  virtual const LibraryRegistry& RegisteredLibraries(LibraryRegistryKind) {
    return EmptyLibraryRegistry::Instance();
  }

  // What plug-in libraries keep for this run only; destroyed with the
  // application.
  class RunData {
   public:
    virtual ~RunData() = default;
  };
  std::unique_ptr<RunData>& plugin_data() { return plugin_data_; }

  // TLS availability (the network layer fills these in later).
  virtual bool EnsureSsl() { return false; }

  // Logging: the machine asks ShouldTrace before a line-trace event and
  // writes events through WriteLogLine when their bit is in `loglevel`.
  virtual bool ShouldTrace(std::string_view /*file*/, int32_t /*line*/) { return true; }
  virtual void WriteLogLine(uint32_t /*event*/, const LogField* /*fields*/) {}
  virtual uint32_t LogLevel() { return 0; }

  // Error reports: each passes the text to the matching error-report
  // entries, then writes it to the client (runtime errors only when
  // `display` is set).
  virtual void ReportInputError(std::string_view message);
  virtual void ReportFatalError(std::string_view message);
  virtual void ReportTimeout(std::string_view message);
  virtual void ReportRuntimeError(int32_t tag, std::string_view message, bool display);

  // Stops the running script at its next check (client gone, shutdown).
  virtual void Abort();

  // The flags the machine polls once per instruction.
  std::atomic<int32_t>& timed_out_flag() { return timed_out_; }
  std::atomic<int32_t>& exit_flag() { return exit_; }
  std::atomic<uint32_t>& signal_counter() { return signals_; }

  uint32_t tick_count() const { return tick_count_; }
  time_t global_deadline() const { return global_deadline_; }
  bool post_timed_out() const { return post_timed_out_.load() != 0; }
  // When the POST timer runs out, on the monotonic clock in milliseconds; 0
  // while it is stopped or unlimited.
  int64_t post_deadline_ms() const { return post_deadline_ms_.load(); }

 protected:
  // Seconds of the global and POST timers, read from the configuration by
  // the concrete application (0 = no limit).
  virtual int32_t GlobalTimeoutSeconds() { return 90; }
  virtual int32_t PostTimeoutSeconds() { return 30; }

  std::atomic<int32_t> timed_out_{0};
  std::atomic<int32_t> post_timed_out_{0};
  Event wake_{Event::kAutoReset};
  std::atomic<int32_t> exit_{0};
  std::atomic<uint32_t> signals_{0};
  uint32_t tick_count_ = 0;
  std::atomic<time_t> global_deadline_{0};
  std::atomic<time_t> post_deadline_{0};
  // The same deadlines on the monotonic clock in milliseconds, so that a
  // frequent watchdog stops a run close to its limit.
  std::atomic<int64_t> global_deadline_ms_{0};
  std::atomic<int64_t> post_deadline_ms_{0};

  std::string language_ = "en-US";
  std::string default_language_ = "en-US";
  std::string default_database_ = "xbase3";
  std::string charset_ = "utf-8";
  std::string process_name_;
  std::unique_ptr<RunData> plugin_data_;
  uint32_t language_counter_ = 1;
  uint32_t default_language_counter_ = 1;
  uint32_t default_database_counter_ = 1;
  uint32_t charset_counter_ = 1;
  bool is_utf8_ = true;
};

}  // namespace orin

#endif  // ORIN_VM_ZETO_APPLICATION_H_
