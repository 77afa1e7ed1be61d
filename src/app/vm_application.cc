#include "app/vm_application.h"

#include "output/output.h"
#include "util/byte_string.h"
#include "util/config.h"
#include "util/html_encode.h"
#include "variables/immutable_variable.h"
#include "variables/variable_hash.h"
#include "vm/configuration_variables.h"
#include "vm/system_variables.h"

namespace orin {

VMApplication::VMApplication() : start_(WallClockNow()) {}
VMApplication::~VMApplication() = default;

int32_t VMApplication::WriteError(const char* text, int32_t length) {
  SendDefaultHeaders();
  Output* out = GetOutput();
  if (out == nullptr || text == nullptr) return 0;
  std::string encoded = HtmlEncoded(MeasuredText(text, length), HtmlEncoding::kErrorText);
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

void AddReadOnlyText(VariableHash* scope, std::string_view name, std::string_view value) {
  auto* v = new ImmutableVariable(name);
  v->SetValue(value.data(), static_cast<int64_t>(value.size()));
  v->Lock();
  scope->AdoptVariable(v);
}

void AddReadOnlyInteger(VariableHash* scope, std::string_view name, int32_t value) {
  auto* v = new ImmutableVariable(name);
  v->SetValue_Integer(value);
  v->Lock();
  scope->AdoptVariable(v);
}

void VMApplication::AddSystemVariables(VariableHash* scope) {
  auto add = [scope](Variable* v) { scope->AdoptVariable(v); };
  add(new ProcessNameVariable(this));
  // The run's start time, fixed for the whole run.
  TimeFields start = BreakDownTime(start_.seconds, start_.nanoseconds / 1000);
  AddReadOnlyInteger(scope, "time_t", start.time_t_seconds);
  AddReadOnlyInteger(scope, "tm_usec", start.microseconds);
  AddReadOnlyInteger(scope, "tm_sec", start.second);
  AddReadOnlyInteger(scope, "tm_min", start.minute);
  AddReadOnlyInteger(scope, "tm_hour", start.hour);
  AddReadOnlyInteger(scope, "tm_mday", start.day);
  AddReadOnlyInteger(scope, "tm_mon", start.month);
  AddReadOnlyText(scope, "stm_mon", start.month_name);
  AddReadOnlyInteger(scope, "tm_year", start.year);
  AddReadOnlyInteger(scope, "tm_wday", start.weekday);
  AddReadOnlyText(scope, "stm_wday", start.weekday_name);
  AddReadOnlyInteger(scope, "tm_yday", start.yearday);
  AddReadOnlyInteger(scope, "tm_isdst", start.dst);
  AddReadOnlyText(scope, "stm_zone", start.zone);
  Config* config = GetConfig();
  AddReadOnlyInteger(scope, "globaltimeout",
                     config ? config->GetInt(config_key::kTimeoutGlobal) : 90);
  AddReadOnlyText(scope, "zetoversion", kZetoVersion);
  AddDynamicSystemVariables(scope, this);
  add(new ConfigurationAggregateVariable(config, this));
}

}  // namespace orin
