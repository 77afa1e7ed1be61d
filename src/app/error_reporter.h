// ErrorReporter: copies chosen error messages of a run to the system log.
//
// `errorsyslog` lists what to copy, e.g. `fatal:"" input:"POST" ZtOPEN:"denied"`:
// a key ("fatal", "input", "timeout" or a runtime error name such as
// "ZtOPEN") and a quoted pattern that must occur in the message (empty or
// missing: every message). Each matching entry writes one event, so a
// message can be reported more than once. The request application calls
// the Report operation of an error and then writes the message to the
// client itself.
//
// Events go to syslog under `errorsyslogident` with `error_syslog_facility`
// and `error_syslog_priority`; slow-request reports use the `slowrequest`
// trio. Identities default to "Zeto", facility and priority to user and err.
#ifndef ORIN_APP_ERROR_REPORTER_H_
#define ORIN_APP_ERROR_REPORTER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class Config;

class ErrorSyslogEntry {
 public:
  explicit ErrorSyslogEntry(std::string pattern) : pattern_(std::move(pattern)) {}
  virtual ~ErrorSyslogEntry() = default;

  // The pattern is empty or occurs in the message (letter case counts).
  virtual bool Matches(std::string_view message) const;
  const std::string& pattern() const { return pattern_; }

 private:
  std::string pattern_;
};

class ErrorSyslogRuntimeEntry : public ErrorSyslogEntry {
 public:
  ErrorSyslogRuntimeEntry(std::string pattern, int32_t code)
      : ErrorSyslogEntry(std::move(pattern)), code_(code) {}

  virtual bool MatchesCode(int32_t code, std::string_view message) const {
    return code == code_ && Matches(message);
  }
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

class ErrorReporter {
 public:
  // `config` (not owned) is read when used.
  explicit ErrorReporter(Config* config) : config_(config) {}

  // Reads `errorsyslog` into the four lists; only the first call acts.
  void ParseErrorSyslog();

  // Each parses the setting if needed and writes one event per matching
  // entry of its list; the number of events written is returned.
  int ReportInputError(std::string_view message);
  int ReportFatalError(std::string_view message);
  int ReportTimeout(std::string_view message);
  int ReportRuntimeError(int32_t code, std::string_view message);

  void ReportErrorEvent(std::string_view message);
  void ReportSlowRequest(std::string_view message);

  using EntryList = std::vector<std::unique_ptr<ErrorSyslogEntry>>;
  const EntryList& fatal_entries() const { return fatal_; }
  const EntryList& input_entries() const { return input_; }
  const EntryList& timeout_entries() const { return timeout_; }
  const std::vector<std::unique_ptr<ErrorSyslogRuntimeEntry>>& runtime_entries() const {
    return runtime_;
  }

 private:
  int Report(const EntryList& entries, std::string_view message);
  void WriteEvent(uint32_t ident_key, uint32_t facility_key, uint32_t priority_key,
                  std::string_view message);

  Config* config_;
  bool parsed_ = false;
  EntryList fatal_;
  EntryList input_;
  EntryList timeout_;
  std::vector<std::unique_ptr<ErrorSyslogRuntimeEntry>> runtime_;
};

// "Slow Request: 6 seconds: remote_addr=..., documenturl=...,
// query_string=...", an empty value written as "NULL".
std::string SlowRequestMessage(int64_t seconds, std::string_view remote_addr,
                               std::string_view document_url, std::string_view query_string);

}  // namespace orin

#endif  // ORIN_APP_ERROR_REPORTER_H_
