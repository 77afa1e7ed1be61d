// The system log: error and slow-request reports go to syslog(3).
//
// openlog keeps a pointer to the identity until closelog, and both are
// process-wide, so each report opens, writes and closes under one lock:
// reports with different identities from several threads cannot mix.
#ifndef ORIN_PLATFORM_SYSTEM_LOG_H_
#define ORIN_PLATFORM_SYSTEM_LOG_H_

#include <string_view>

namespace orin {

// syslog(3) codes by name, letter case ignored, with or without a "log_"
// prefix: facilities "kern", "user", "mail", "daemon", "auth", "syslog",
// "lpr", "news", "uucp", "cron", "authpriv", "ftp", "local0" to "local7";
// priorities "emerg", "alert", "crit", "err" (or "error"), "warning" (or
// "warn"), "notice", "info", "debug". An empty or unknown name gives the
// default: facility "user", priority "err".
int SyslogFacility(std::string_view name);
int SyslogPriority(std::string_view name);

// Writes one message with the process id under `identity`. Bytes from a
// NUL on are dropped (syslog takes C strings).
void WriteSystemLog(std::string_view identity, int facility, int priority,
                    std::string_view message);

}  // namespace orin

#endif  // ORIN_PLATFORM_SYSTEM_LOG_H_
