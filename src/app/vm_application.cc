#include "app/vm_application.h"

#include "app/html_encode.h"
#include "output/output.h"
#include "util/config.h"
#include "variables/immutable_variable.h"
#include "variables/variable_hash.h"

namespace orin {

VMApplication::VMApplication() { clock_gettime(CLOCK_REALTIME, &start_); }
VMApplication::~VMApplication() = default;

int32_t VMApplication::WriteError(const char* text, int32_t length) {
  SendDefaultHeaders();
  Output* out = GetOutput();
  if (out == nullptr || text == nullptr) return 0;
  if (length < 0) length = static_cast<int32_t>(std::char_traits<char>::length(text));
  std::string encoded = HtmlEncodeErrorText(std::string_view(text, static_cast<size_t>(length)));
  return out->WriteImmediate(encoded.data(), static_cast<int32_t>(encoded.size()));
}

int32_t VMApplication::ConfigurationError(std::string_view message) {
  if (Output* out = GetOutput()) out->SetHeader("Status", "500 Internal Server Error");
  std::string text = "Configuration Error: ";
  text.append(message);
  if (Config* config = GetConfig()) {
    std::string_view admin = config->GetText(config_key::kInfoServerAdmin);
    if (!admin.empty()) text.append(": Please contact the server administrator: ").append(admin);
  }
  return WriteError(text);
}

void VMApplication::SendDefaultHeaders() {
  if (headers_defaulted_) return;
  headers_defaulted_ = true;
  if (Output* out = GetOutput()) out->SetHeader("Content-Type", "text/html");
  Config* config = GetConfig();
  if (config != nullptr && config->GetInt(config_key::kCookies) != 0) SetCallerIdCookie();
}

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

}  // namespace

void AddReadOnlyText(VariableHash* scope, std::string_view name, std::string_view value) {
  auto* v = new ImmutableVariable(name);
  v->SetValue(value.data(), static_cast<int64_t>(value.size()));
  v->Lock();
  scope->ReplaceVariable(v);
  v->Release();  // the scope holds its own reference
}

void AddReadOnlyInteger(VariableHash* scope, std::string_view name, int32_t value) {
  auto* v = new ImmutableVariable(name);
  v->SetValue_Integer(value);
  v->Lock();
  scope->ReplaceVariable(v);
  v->Release();
}

void VMApplication::AddSystemVariables(VariableHash* scope) {
  AddReadOnlyText(scope, "process_name", "");
  // The run's start time, fixed for the whole run.
  struct tm local;
  time_t now = start_.tv_sec;
  localtime_r(&now, &local);
  AddReadOnlyInteger(scope, "time_t", static_cast<int32_t>(now));
  AddReadOnlyInteger(scope, "tm_usec", static_cast<int32_t>(start_.tv_nsec / 1000));
  AddReadOnlyInteger(scope, "tm_sec", local.tm_sec);
  AddReadOnlyInteger(scope, "tm_min", local.tm_min);
  AddReadOnlyInteger(scope, "tm_hour", local.tm_hour);
  AddReadOnlyInteger(scope, "tm_mday", local.tm_mday);
  AddReadOnlyInteger(scope, "tm_mon", local.tm_mon + 1);
  AddReadOnlyText(scope, "stm_mon", kMonths[local.tm_mon]);
  AddReadOnlyInteger(scope, "tm_year", local.tm_year + 1900);
  AddReadOnlyInteger(scope, "tm_wday", local.tm_wday + 1);
  AddReadOnlyText(scope, "stm_wday", kDays[local.tm_wday]);
  AddReadOnlyInteger(scope, "tm_yday", local.tm_yday + 1);
  AddReadOnlyInteger(scope, "tm_isdst", local.tm_isdst);
  AddReadOnlyText(scope, "stm_zone", local.tm_zone ? local.tm_zone : "");
  Config* config = GetConfig();
  AddReadOnlyInteger(scope, "globaltimeout",
                     config ? config->GetInt(config_key::kTimeoutGlobal) : 90);
  AddReadOnlyText(scope, "zetoversion", kZetoVersion);
}

}  // namespace orin
