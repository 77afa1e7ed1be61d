#include "app/error_reporter.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "util/config.h"

namespace orin {
namespace {

using namespace config_key;

constexpr int kNoNamespace = 77;

// In a child process with its own mount namespace, /dev becomes an empty
// tmpfs holding a datagram socket at /dev/log, where syslog(3) delivers.
// Runs `body` there and returns what arrived on the socket; nullopt when
// the child cannot get such a namespace (no root and no user namespaces).
// Nothing reaches the machine's own system log.
int RunWithLogSocket(const std::function<void()>& body, int out) {
  // Without root, a user namespace brings the right to mount.
  if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return kNoNamespace;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kNoNamespace;
  if (mount("none", "/dev", "tmpfs", 0, nullptr) != 0) return kNoNamespace;
  int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "/dev/log");
  if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return kNoNamespace;
  }
  body();
  char buffer[65536];
  for (;;) {
    ssize_t n = recv(s, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) break;
    uint32_t length = static_cast<uint32_t>(n);
    if (write(out, &length, sizeof length) != sizeof length || write(out, buffer, length) != n) {
      return 1;
    }
  }
  return 0;
}

std::optional<std::vector<std::string>> CaptureSystemLog(const std::function<void()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return std::nullopt;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    _exit(RunWithLogSocket(body, fds[1]));
  }
  close(fds[1]);
  std::string all;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    all.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == kNoNamespace) return std::nullopt;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::vector<std::string> datagrams;
  for (size_t at = 0; at + 4 <= all.size();) {
    uint32_t length;
    std::memcpy(&length, all.data() + at, 4);
    datagrams.push_back(all.substr(at + 4, length));
    at += 4 + length;
  }
  return datagrams;
}

#define CAPTURE_OR_SKIP(var, body)                                            \
  auto var##_captured = CaptureSystemLog(body);                               \
  if (!var##_captured) GTEST_SKIP() << "no mount namespace for a log socket"; \
  std::vector<std::string> var = *var##_captured

// "<11>Mar  5 07:08:09 Zeto[123]: message": priority, identity, message.
struct Event {
  int priority = -1;
  std::string identity;
  std::string message;
};

Event Parse(const std::string& datagram) {
  static const std::regex kFormat(R"(^<(\d+)>\w{3} [ \d]\d \d\d:\d\d:\d\d (.*)\[(\d+)\]: (.*)$)");
  std::smatch m;
  Event e;
  if (!std::regex_match(datagram, m, kFormat)) {
    ADD_FAILURE() << "not a syslog datagram: " << datagram;
    return e;
  }
  e.priority = std::stoi(m[1]);
  e.identity = m[2];
  e.message = m[4];
  return e;
}

TEST(ErrorSyslogTest, ParsesTheFourLists) {
  Config config;
  config.SetText(kErrorSyslog,
                 "fatal:\"\", input : \"POST\",timeout ZtOPEN:\"denied\"\tztfuncreturn "
                 "bogus:\"x\" INPUT:\"unterminated");
  ErrorReporter reporter(&config);
  reporter.ParseErrorSyslog();
  ASSERT_EQ(reporter.fatal_entries().size(), 1u);
  EXPECT_EQ(reporter.fatal_entries()[0]->pattern(), "");
  ASSERT_EQ(reporter.input_entries().size(), 2u);
  EXPECT_EQ(reporter.input_entries()[0]->pattern(), "POST");
  EXPECT_EQ(reporter.input_entries()[1]->pattern(), "");
  ASSERT_EQ(reporter.timeout_entries().size(), 1u);
  ASSERT_EQ(reporter.runtime_entries().size(), 2u);
  EXPECT_EQ(reporter.runtime_entries()[0]->code(), 28);
  EXPECT_EQ(reporter.runtime_entries()[0]->pattern(), "denied");
  EXPECT_EQ(reporter.runtime_entries()[1]->code(), 17);
  // Parsed once per request: a later change is not seen.
  config.SetText(kErrorSyslog, "");
  reporter.ParseErrorSyslog();
  EXPECT_EQ(reporter.input_entries().size(), 2u);
}

TEST(ErrorSyslogTest, EntriesMatchBySubstringAndCode) {
  ErrorSyslogEntry any("");
  ErrorSyslogEntry post("POST");
  EXPECT_TRUE(any.Matches(""));
  EXPECT_TRUE(post.Matches("Timeout processing POST data"));
  EXPECT_FALSE(post.Matches("Timeout processing post data"));
  ErrorSyslogRuntimeEntry open("denied", 28);
  EXPECT_TRUE(open.MatchesCode(28, "Access denied"));
  EXPECT_FALSE(open.MatchesCode(29, "Access denied"));
  EXPECT_FALSE(open.MatchesCode(28, "Not found"));
}

TEST(ErrorSyslogTest, MatchingReportsReachTheSystemLog) {
  Config config;
  config.SetText(kErrorSyslog, "fatal:\"\" input:\"POST\" input:\"data\" ZtOPEN:\"denied\"");
  CAPTURE_OR_SKIP(events, [&] {
    ErrorReporter reporter(&config);
    reporter.ReportFatalError("Fatal error in /a.ztc @ [00000000:00000010]: Frame underflow");
    reporter.ReportInputError("Timeout processing POST data");  // two entries match
    reporter.ReportInputError("Unknown content type");          // none
    reporter.ReportTimeout("Application timed out");            // no time-out entries
    reporter.ReportRuntimeError(28, "ZtOPEN: Access denied");
    reporter.ReportRuntimeError(29, "ZtCLOSE: Access denied");  // another tag
  });
  ASSERT_EQ(events.size(), 4u);
  std::vector<std::string> messages;
  for (const std::string& d : events) {
    Event e = Parse(d);
    EXPECT_EQ(e.priority, 8 | 3);  // user.err
    EXPECT_EQ(e.identity, "Zeto");
    messages.push_back(e.message);
  }
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Fatal error in /a.ztc @ [00000000:00000010]: Frame underflow",
                          "Timeout processing POST data", "Timeout processing POST data",
                          "ZtOPEN: Access denied"}));
}

TEST(ErrorSyslogTest, WithoutTheSettingNothingIsReported) {
  Config config;
  CAPTURE_OR_SKIP(events, [&] {
    ErrorReporter reporter(&config);
    reporter.ReportFatalError("x");
    reporter.ReportInputError("x");
  });
  EXPECT_TRUE(events.empty());
}

TEST(ErrorSyslogTest, IdentityFacilityAndPriorityAreConfigured) {
  Config config;
  config.SetText(kErrorSyslog, "timeout");
  config.SetText(kErrorSyslogIdent, "shop");
  config.SetText(kErrorSyslogFacility, "local0");
  config.SetText(kErrorSyslogPriority, "LOG_WARNING");
  config.SetText(kSlowRequestSyslogIdent, "slow-shop");
  config.SetText(kSlowRequestSyslogFacility, "daemon");
  config.SetText(kSlowRequestSyslogPriority, "info");
  CAPTURE_OR_SKIP(events, [&] {
    ErrorReporter reporter(&config);
    reporter.ReportTimeout("Application timed out");
    reporter.ReportSlowRequest(SlowRequestMessage(6, "10.0.0.1", "", "a=1"));
    config.SetText(kErrorSyslogFacility, "no-such-facility");
    config.SetText(kErrorSyslogPriority, "");
    reporter.ReportErrorEvent("defaults");
  });
  ASSERT_EQ(events.size(), 3u);
  Event timeout = Parse(events[0]);
  EXPECT_EQ(timeout.priority, 16 * 8 + 4);  // local0.warning
  EXPECT_EQ(timeout.identity, "shop");
  Event slow = Parse(events[1]);
  EXPECT_EQ(slow.priority, 3 * 8 + 6);  // daemon.info
  EXPECT_EQ(slow.identity, "slow-shop");
  EXPECT_EQ(slow.message,
            "Slow Request: 6 seconds: remote_addr=10.0.0.1, documenturl=NULL, query_string=a=1");
  EXPECT_EQ(Parse(events[2]).priority, 8 | 3);
}

}  // namespace
}  // namespace orin
