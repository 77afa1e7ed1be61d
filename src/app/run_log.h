// RunLog: the event log file of a run and the filter on its line traces.
//
// Events whose bit is in `loglevel` are written to `logfile` as one line
// each: a prefix with the local time to the microsecond and the process and
// thread ids, the event's name, then its fields separated by TABs. Bytes
// below 32 in texts are written as "\x0a" and so on, so an event never
// spans two lines. The file is opened, appended to with one write and
// closed for every line: several runs may share it. A file that cannot be
// opened loses the line silently.
//
// The filter (`logfilter`, e.g. "!lib.ztc:10-20, main.ztc") picks the source
// files and line ranges the machine traces; a request without the
// configured `logcookie` traces nothing.
#ifndef ORIN_APP_RUN_LOG_H_
#define ORIN_APP_RUN_LOG_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/local_time.h"
#include "util/byte_string.h"
#include "vm/zeto_application.h"

namespace orin {

class Config;
class Variable;

struct LogFilterEntry {
  std::string name;
  int32_t first = 0;  // 0: from the first line
  int32_t last = 0;   // 0: to the last line
  // The same name (letter case counts) and the line within the range.
  bool Matches(std::string_view file, int32_t line) const;
};

// The name of an event bit in log lines ("Request Start"); "Unknown" for
// any other value.
std::string_view LogEventName(uint32_t event);

// The whole line, line feed included, as WriteLogLine writes it. A text
// field with a negative length is NUL-terminated.
std::string FormatLogLine(const LocalTime& time, uint32_t process_id, uint32_t thread_id,
                          uint32_t event, const LogField* fields);
// Appends `text` with every byte below 32 as "\x%02x".
void AppendEscaped(std::string_view text, std::string* out);
// Appends a variable as log lines show it: "{ a: 1, b: [2] = [ x, y ] }".
void AppendVariableDump(Variable* variable, std::string* out);

class RunLog {
 public:
  // `config` (not owned) is read when used; the ids go into every line.
  RunLog(Config* config, uint32_t process_id, uint32_t thread_id);

  uint32_t LogLevel() const;
  // The request's own events carry one field, the request URI; written
  // only when the bit is in `loglevel`.
  void LogEvent(uint32_t event, std::string_view request_uri);
  // Writes the line whatever `loglevel` says (the caller checked it).
  void WriteLogLine(uint32_t event, const LogField* fields);

  // Replaces both filter lists.
  void ParseLogFilter(std::string_view text);
  bool ShouldTrace(std::string_view file, int32_t line) const;
  // With a configured `logcookie`, the request traces only when its Cookie
  // header (null: none) holds "zetologcookie=" and exactly that value.
  void CheckLogCookie(const ByteString* cookie_header);

  bool log_cookie_mismatch() const { return log_cookie_mismatch_; }
  void set_log_cookie_mismatch(bool value) { log_cookie_mismatch_ = value; }
  const std::vector<LogFilterEntry>& includes() const { return includes_; }
  const std::vector<LogFilterEntry>& excludes() const { return excludes_; }

 private:
  Config* config_;
  uint32_t process_id_;
  uint32_t thread_id_;
  bool log_cookie_mismatch_ = false;
  std::vector<LogFilterEntry> includes_;
  std::vector<LogFilterEntry> excludes_;
};

}  // namespace orin

#endif  // ORIN_APP_RUN_LOG_H_
