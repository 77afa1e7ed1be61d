#include "app/host_functions.h"

#include "output/output.h"
#include "util/html_encode.h"
#include "variables/json_encode.h"
#include "variables/link_buffer.h"
#include "variables/variable_hash.h"
#include "vm/zeto_vm.h"

namespace orin {

std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {

// Parameters occupy the first local slots in declaration order.
Variable* Parameter(VariableHash* parameters, int32_t i) {
  return parameters->Index(i, true);
}

void Header(ZetoVM* machine, VariableHash* parameters, Variable* result, void**) {
  if (machine == nullptr) return;  // the call that frees persistent data
  const ByteString& name = Parameter(parameters, 0)->Value();
  ByteString value = Parameter(parameters, 1)->Value();
  Output* out = machine->CurrentOutput();
  int32_t ok = out ? out->SetHeader(name.view(), value.view()) : 0;
  result->SetValue_Integer(ok);
}

void Html(ZetoVM* machine, VariableHash* parameters, Variable* result, void**) {
  if (machine == nullptr) return;
  std::string text = HtmlEncoded(Parameter(parameters, 0)->Value().view(), HtmlEncoding::kMarkup);
  result->SetValue(text.data(), static_cast<int64_t>(text.size()));
}

void Json(ZetoVM* machine, VariableHash* parameters, Variable* result, void**) {
  if (machine == nullptr) return;
  LinkBuffer buffer(1024, 4096);
  bool utf8 = machine->application()->IsUtf8();
  JsonEncode(Parameter(parameters, 0), 0, utf8, &buffer);
  std::string_view text = buffer.View();
  result->SetValue(text.data(), static_cast<int64_t>(text.size()));
}

void Url(ZetoVM* machine, VariableHash* parameters, Variable* result, void**) {
  if (machine == nullptr) return;
  std::string text = UrlEncode(Parameter(parameters, 0)->Value().view());
  result->SetValue(text.data(), static_cast<int64_t>(text.size()));
}

// orin_sleep(milliseconds): waits, ending early when the run is aborted or
// times out.
void SleepFor(ZetoVM* machine, VariableHash* parameters, Variable*, void**) {
  if (machine == nullptr) return;
  machine->application()->Sleep(Parameter(parameters, 0)->Value_Integer());
}

// orin_wait_tasks(milliseconds): waits until the tasks the run started have
// ended (a negative time: no limit); returns how many still run.
void WaitTasks(ZetoVM* machine, VariableHash* parameters, Variable* result, void**) {
  if (machine == nullptr) return;
  int32_t ms = Parameter(parameters, 0)->Value_Integer();
  result->SetValue_Integer(machine->application()->WaitForTasks(ms));
}

constexpr ZetoFunctionParameterRecord kByValue{{}, 0};
constexpr ZetoFunctionParameterRecord kByReference{{}, 1};
constexpr ZetoFunctionParameterRecord kTwoByValue[] = {kByValue, kByValue};
constexpr ZetoFunctionParameterRecord kOneByValue[] = {kByValue};
constexpr ZetoFunctionParameterRecord kOneByReference[] = {kByReference};

constexpr ZetoFunctionEntry kTable[] = {
    {"orin_header", 11, 2, kTwoByValue, Header}, {"orin_html", 9, 1, kOneByValue, Html},
    {"orin_json", 9, 1, kOneByReference, Json},  {"orin_sleep", 10, 1, kOneByValue, SleepFor},
    {"orin_url", 8, 1, kOneByValue, Url},        {"orin_wait_tasks", 15, 1, kOneByValue, WaitTasks},
    {nullptr, 0, 0, nullptr, nullptr},
};

}  // namespace

const ZetoFunctionEntry* HostFunctionTable() {
  return kTable;
}

}  // namespace orin
