#include "platform/system_log.h"

#include <syslog.h>

#include <mutex>
#include <string>

#include "util/ascii.h"

namespace orin {
namespace {

struct SyslogName {
  const char* name;
  int code;
};

constexpr SyslogName kFacilities[] = {
    {"kern", LOG_KERN},     {"user", LOG_USER},         {"mail", LOG_MAIL},
    {"daemon", LOG_DAEMON}, {"auth", LOG_AUTH},         {"syslog", LOG_SYSLOG},
    {"lpr", LOG_LPR},       {"news", LOG_NEWS},         {"uucp", LOG_UUCP},
    {"cron", LOG_CRON},     {"authpriv", LOG_AUTHPRIV}, {"ftp", LOG_FTP},
    {"local0", LOG_LOCAL0}, {"local1", LOG_LOCAL1},     {"local2", LOG_LOCAL2},
    {"local3", LOG_LOCAL3}, {"local4", LOG_LOCAL4},     {"local5", LOG_LOCAL5},
    {"local6", LOG_LOCAL6}, {"local7", LOG_LOCAL7},
};

constexpr SyslogName kPriorities[] = {
    {"emerg", LOG_EMERG}, {"alert", LOG_ALERT},     {"crit", LOG_CRIT},    {"err", LOG_ERR},
    {"error", LOG_ERR},   {"warning", LOG_WARNING}, {"warn", LOG_WARNING}, {"notice", LOG_NOTICE},
    {"info", LOG_INFO},   {"debug", LOG_DEBUG},
};

template <size_t N>
int Lookup(const SyslogName (&table)[N], std::string_view name, int fallback) {
  if (name.size() > 4 && EqualsNoCase(name.substr(0, 4), "log_")) name.remove_prefix(4);
  for (const SyslogName& entry : table) {
    if (EqualsNoCase(name, entry.name)) return entry.code;
  }
  return fallback;
}

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

int SyslogFacility(std::string_view name) {
  return Lookup(kFacilities, name, LOG_USER);
}

int SyslogPriority(std::string_view name) {
  return Lookup(kPriorities, name, LOG_ERR);
}

void WriteSystemLog(std::string_view identity, int facility, int priority,
                    std::string_view message) {
  std::string ident(identity.substr(0, identity.find('\0')));
  std::string text(message.substr(0, message.find('\0')));
  std::lock_guard<std::mutex> lock(LogMutex());
  openlog(ident.c_str(), LOG_PID, facility);
  syslog(facility | priority, "%s", text.c_str());
  closelog();
}

}  // namespace orin
