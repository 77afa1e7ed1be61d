// VMApplication: what every script run shares, whoever drives it: error
// texts written to the client, the default response headers, configuration
// error pages and the system variables common to every run.
#ifndef ORIN_APP_VM_APPLICATION_H_
#define ORIN_APP_VM_APPLICATION_H_

#include <ctime>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "vm/zeto_application.h"

namespace orin {

class VariableHash;

// The version scripts see in "zetoversion" and server_software.
inline constexpr std::string_view kZetoVersion = "5.52";
inline constexpr std::string_view kServerSoftware = "Zeto Orin/Zeto Virtual Machine";

class VMApplication : public ZetoApplication {
 public:
  VMApplication();
  ~VMApplication() override;

  // Sends the default headers first (once), then writes the HTML-encoded
  // text with WriteImmediate on the current output.
  int32_t WriteError(const char* text, int32_t length) override;
  using ZetoApplication::WriteError;

  // "Configuration Error: " + message (+ the administrator sentence), with
  // the status "500 Internal Server Error".
  virtual int32_t ConfigurationError(std::string_view message);
  // Once per run: "Content-Type: text/html" and, with `usecookies`, the
  // caller-id cookie.
  virtual void SendDefaultHeaders();
  virtual void SetCallerIdCookie() {}
  // The system variables every run gets, in their fixed order.
  virtual void AddSystemVariables(VariableHash* scope);
  // path "?" query string; empty without a request.
  virtual std::string RequestUri() { return {}; }

  // When the run started (the snapshot system variables show it).
  time_t start_time() const { return static_cast<time_t>(start_.seconds); }

 protected:
  bool headers_defaulted() const { return headers_defaulted_; }

 private:
  bool headers_defaulted_ = false;
  WallClockTime start_;
};

// Adds (or replaces) a locked read-only variable in a scope.
void AddReadOnlyText(VariableHash* scope, std::string_view name, std::string_view value);
void AddReadOnlyInteger(VariableHash* scope, std::string_view name, int32_t value);

}  // namespace orin

#endif  // ORIN_APP_VM_APPLICATION_H_
