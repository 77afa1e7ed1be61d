#include "platform/process_info.h"

#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

namespace orin {

namespace {

// Every request asks for both ids; they are read from the kernel once per
// process and thread. A forked child forgets them, since its ids differ.
std::atomic<uint32_t> process_id{0};
std::atomic<uint32_t> fork_generation{0};
thread_local uint32_t thread_id = 0;
thread_local uint32_t thread_generation = 0;

void ForgetIdsInChild() {
  process_id.store(0);
  fork_generation.fetch_add(1);
}

}  // namespace

uint32_t CurrentProcessId() {
  uint32_t pid = process_id.load(std::memory_order_relaxed);
  if (pid != 0) return pid;
  static bool registered = (::pthread_atfork(nullptr, nullptr, ForgetIdsInChild), true);
  (void)registered;
  pid = static_cast<uint32_t>(::getpid());
  process_id.store(pid, std::memory_order_relaxed);
  return pid;
}

uint32_t CurrentThreadId() {
  uint32_t generation = fork_generation.load(std::memory_order_relaxed);
  if (thread_id == 0 || thread_generation != generation) {
    CurrentProcessId();  // registers the fork handler
    thread_id = static_cast<uint32_t>(::gettid());
    thread_generation = generation;
  }
  return thread_id;
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
