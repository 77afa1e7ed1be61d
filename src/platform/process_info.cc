#include "platform/process_info.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace orin {

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(::getpid());
}

uint32_t CurrentThreadId() {
  return static_cast<uint32_t>(::gettid());
}

bool ProcessExists(uint32_t pid) {
  // kill(0) and negative ids address process groups, never one process.
  if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return false;
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  return errno == EPERM;
}

std::string HostName() {
  char name[256];
  if (::gethostname(name, sizeof name) != 0 || name[0] == '\0') return "localhost";
  name[sizeof name - 1] = '\0';
  return name;
}

std::string CurrentUserName() {
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  uid_t uid = ::getuid();
  if (::getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found != nullptr &&
      pw.pw_name != nullptr && pw.pw_name[0] != '\0')
    return pw.pw_name;
  return std::to_string(uid);
}

}  // namespace orin
