#include "network/call.h"

#include <mutex>
#include <random>

#include "files/file.h"
#include "files/file_manager.h"
#include "image/opcodes.h"
#include "network/http_request_body.h"
#include "network/network_manager.h"
#include "network/smtp.h"
#include "platform/mime_types.h"
#include "util/ascii.h"
#include "util/config.h"
#include "variables/aggregate_tree.h"
#include "variables/dynamic_name.h"
#include "variables/variable_hash.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kCallTag = 14;

void AppendUrlEncoded(std::string* out, std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
        u == '_' || u == '.' || u == '*') {
      out->push_back(c);
    } else if (u == ' ') {
      out->push_back('+');
    } else {
      out->push_back('%');
      out->push_back(kHex[u >> 4]);
      out->push_back(kHex[u & 15]);
    }
  }
}

std::string WithoutNul(std::string text) {
  std::erase(text, '\0');
  return text;
}

std::string BaseName(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string UploadType(std::string_view name) {
  size_t dot = name.rfind('.');
  std::string_view type;
  if (dot != std::string_view::npos) type = MimeTypes::System().Find(name.substr(dot + 1));
  return type.empty() ? std::string("unknown") : std::string(type);
}

std::string Boundary() {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  std::uniform_int_distribution<int32_t> d(0, 0x7FFFFFFF);
  return "--------------------" + std::to_string(d(generator)) + std::to_string(d(generator)) +
         std::to_string(d(generator));
}

}  // namespace

Call::Call(ZetoVM& machine)
    : Feature(FeatureKind::kCall, machine.CurrentFrame()),
      machine_(machine),
      scope_(machine.Locals()) {}

Call::~Call() = default;

bool Call::Fail(std::string text) {
  error_ = std::move(text);
  return false;
}

void Call::SetText(const char* name, std::string_view value) {
  scope_->SetVariable(name, -1, value.data(), static_cast<int64_t>(value.size()));
}

void Call::SetArray(const char* name, const std::vector<std::string>& values) {
  Variable* v = nullptr;
  std::string_view n(name);
  if (!scope_->LookupPath(&v, n.data(), static_cast<int64_t>(n.size()), true) || v == nullptr)
    return;
  v->Clear();
  for (size_t i = 0; i < values.size(); ++i) {
    Variable* e = v->Element(AggregateIndex(static_cast<int32_t>(i + 1)), true);
    if (e) e->SetValue(values[i].data(), static_cast<int64_t>(values[i].size()));
  }
}

bool Call::ParseFlags(const std::string& text) {
  for (std::string_view piece : SplitCommaList(text)) {
    if (EqualsNoCase(piece, "noparse")) {
      flags_ |= kCallNoParse;
    } else if (EqualsNoCase(piece, "force_https")) {
      flags_ |= kCallForceHttps;
    } else if (EqualsNoCase(piece, "force_verify")) {
      flags_ |= kCallForceVerify;
    } else {
      return Fail("Unsupported flag \"" + std::string(piece) + "\"");
    }
  }
  return true;
}

bool Call::Start(const CallInputs& in) {
  ZetoApplication* app = machine_.application();
  Config* config = app->GetConfig();
  NetworkManager* network = app->GetNetworkManager();
  if (in.url.empty()) return Fail("Invalid URL");
  if (!ParseFlags(in.flags)) return false;
  if (network == nullptr) return Fail("Unable to open URL '" + in.url + "': no network");
  int32_t configured = config->GetInt(config_key::kTimeoutCall);
  timeout_ =
      (in.timeout <= 0 || (configured > 0 && in.timeout > configured)) ? configured : in.timeout;
  int32_t block = config->GetInt(config_key::kBufszCall);
  block_size_ = block > 0 && block <= (64 << 20) ? block : 8192;

  // Form fields with their current values.
  std::vector<std::pair<std::string, std::string>> fields;
  for (std::string_view name : SplitCommaList(in.fields)) {
    Variable* v = LookupDynamicVariable(machine_, name);
    std::string value;
    if (v != nullptr) value.assign(v->Value().view());
    fields.emplace_back(std::string(name), std::move(value));
  }
  std::string files_text = WithoutNul(in.files);
  std::vector<std::string_view> file_names = SplitCommaList(files_text);

  std::string method;
  std::string content_type = in.content_type;
  auto default_type = [&](const char* type) {
    if (content_type.empty()) content_type = type;
  };
  if (EqualsNoCase(in.method, "GET")) {
    kind_ = 1, method = "GET";
  } else if (EqualsNoCase(in.method, "POST")) {
    kind_ = 2, method = "POST";
  } else if (EqualsNoCase(in.method, "HEAD")) {
    kind_ = 0, method = "HEAD";
  } else if (EqualsNoCase(in.method, "XML")) {
    kind_ = 3, method = "POST", default_type("text/xml");
  } else if (EqualsNoCase(in.method, "RAW")) {
    kind_ = 3, method = "POST", default_type("text/plain");
  } else {
    static constexpr const char* kOwn[] = {"OPTIONS", "PUT",   "DELETE", "TRACE",
                                           "CONNECT", "PATCH", "LINK",   "UNLINK"};
    for (const char* m : kOwn) {
      if (EqualsNoCase(in.method, m)) kind_ = 3, method = m, default_type("text/plain");
    }
    if (method.empty()) {
      kind_ = file_names.empty() ? 1 : 2;
      method = file_names.empty() ? "GET" : "POST";
    }
  }

  std::string url = in.url;
  std::unique_ptr<HttpRequestBody> body;
  if (!file_names.empty()) {
    std::string boundary = Boundary();
    content_type = "multipart/form-data; boundary=" + boundary;
    body = std::make_unique<HttpRequestBody>();
    for (const auto& [name, value] : fields) {
      body->AddText("--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                    "\"\r\n\r\n" + value + "\r\n");
    }
    FileManager* files = app->GetFileManager();
    for (std::string_view field : file_names) {
      Variable* v = LookupDynamicVariable(machine_, field);
      std::string file_name = v ? std::string(v->Value().view()) : std::string();
      if (file_name.empty()) return Fail("Empty filename");
      std::unique_ptr<File> file = files ? files->Open(0, file_name, kOpenRead) : nullptr;
      if (!file) {
        return Fail("Unable to open '" + file_name +
                    "': " + (files ? files->ErrorText() : std::string("no file access")));
      }
      std::string sent = BaseName(file_name);
      body->AddText("--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                    std::string(field) + "\"; filename=\"" + sent +
                    "\"\r\nContent-Type: " + UploadType(sent) + "\r\n\r\n");
      body->AddFile(std::move(file));
      body->AddText("\r\n");
    }
    body->AddText("--" + boundary + "--\r\n");
  } else if (kind_ == 1 && !fields.empty()) {
    if (url.back() != '?') url.push_back('?');
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) url.push_back('&');
      AppendUrlEncoded(&url, fields[i].first);
      url.push_back('=');
      AppendUrlEncoded(&url, fields[i].second);
    }
  } else if (kind_ == 2) {
    content_type = "application/x-www-form-urlencoded";
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) text.push_back('&');
      AppendUrlEncoded(&text, fields[i].first);
      text.push_back('=');
      AppendUrlEncoded(&text, fields[i].second);
    }
    body = std::make_unique<HttpRequestBody>();
    body->AddText(text);
  } else if (kind_ == 3) {
    body = std::make_unique<HttpRequestBody>();
    for (const auto& field : fields)
      body->AddText(field.second);
  }

  UrlParts parts;
  if (!network->SplitUrl(url, &parts))
    return Fail("Unable to open URL '" + in.url + "': " + network->ErrorText());
  TlsOptions tls;
  tls.certificate_file = WithoutNul(in.certificate_file);
  tls.certificate_data = in.certificate_data;
  tls.certificate_type = in.certificate_type;
  tls.passphrase = in.passphrase;
  tls.pin_algorithm = in.pin_algorithm;
  tls.pin_fingerprint = in.fingerprint;
  uint32_t connection_flags = ((flags_ & kCallForceHttps) ? kNetworkRequireSecure : 0) |
                              ((flags_ & kCallForceVerify) ? kNetworkForceVerify : 0);
  connection_ =
      network->OpenUrl(parts.scheme, parts.host, parts.port, tls, timeout_, connection_flags);
  if (!connection_) return Fail("Unable to open URL '" + in.url + "': " + network->ErrorText());
  if (!network->SendHttpRequest(connection_.get(), method, parts, 1.1, content_type, body.get(),
                                in.headers, timeout_, block_size_))
    return Fail(network->ErrorText());
  if (connection_->secure())
    SetText("callservercertificate", network->PeerCertificatePem(connection_.get()));

  response_ = std::make_unique<HTTPResponseStream>(connection_.get(), timeout_);
  if (!response_->ReadHead()) return Fail(response_->ErrorText());
  std::vector<std::string> lines;
  for (const auto& h : response_->headers())
    lines.push_back(h.line);
  SetArray("callreturnheader", lines);
  scope_->SetVariable("callnumberofheaders", -1, nullptr, 0)
      ->SetValue_Integer(static_cast<int32_t>(lines.size()));
  HTTPResponseStream* stream = response_.get();
  bool head = kind_ == 0;
  buffer_ = std::make_unique<CallBuffer>(
      [stream, head](char* data, int32_t size, std::string* error) -> int32_t {
        if (head) return 0;  // a response to HEAD has no body
        int32_t n = stream->Read(data, size);
        if (n < 0) *error = stream->ErrorText();
        return n;
      },
      block_size_);
  return true;
}

int Call::NextObject() {
  if (!buffer_) return 0;
  if (flags_ & kCallNoParse) {
    if (delivered_body_) return 0;
    delivered_body_ = true;
    std::string body;
    if (kind_ != 0 && !response_->ReadAll(&body)) {
      error_ = response_->ErrorText();
      return -1;
    }
    SetText("callvalue", body);
    return 1;
  }
  HtmlObject object;
  int r = buffer_->Next(&object);
  if (r < 0) error_ = buffer_->ErrorText();
  if (r <= 0) return r;
  SetText("callvalue", object.raw);
  SetText("callobjecttype", object.is_tag ? "tag" : "text");
  SetText("callobjectelement", object.element);
  std::vector<std::string> names, values;
  for (auto& [name, value] : object.attributes) {
    names.push_back(name);
    values.push_back(value);
  }
  SetArray("callobjectattribute", names);
  SetArray("callobjectvalue", values);
  scope_->SetVariable("callobjectnumattributes", -1, nullptr, 0)
      ->SetValue_Integer(static_cast<int32_t>(names.size()));
  return 1;
}

namespace {

// Pops the tag's inputs: the last pushed is on top.
bool PopInputs(ZetoVM& vm, int count, CallInputs* in) {
  std::string* texts[15] = {nullptr,
                            &in->url,
                            &in->method,
                            &in->fields,
                            &in->files,
                            &in->content_type,
                            &in->certificate_file,
                            &in->certificate_type,
                            &in->headers,
                            nullptr,
                            &in->passphrase,
                            &in->certificate_data,
                            &in->flags,
                            &in->pin_algorithm,
                            &in->fingerprint};
  for (int i = count; i >= 1; --i) {
    if (i == 9) {
      in->timeout = vm.PopInteger();
    } else if (!vm.PopText(texts[i])) {
      return false;
    }
  }
  return true;
}

void Begin(ZetoVM& vm, const TagInstruction& ins, int count) {
  int64_t skip = int64_t{ins.next} + ins.a;
  if (count < 5 || count > 14 || count == 6 || count == 7 || count == 13) {
    for (int i = 0; i < count && i < 64; ++i)
      vm.PopDiscard();
    vm.RuntimeError(kCallTag, "Invalid number of parameters to HTTPN");
    vm.Jump(skip);
    return;
  }
  CallInputs in;
  if (!PopInputs(vm, count, &in)) return;
  auto call = std::make_unique<Call>(vm);
  if (!call->Start(in)) {
    vm.RuntimeError(kCallTag, call->ErrorText());
    vm.Jump(skip);
    return;
  }
  int r = call->NextObject();
  if (r < 0) {
    vm.RuntimeError(kCallTag, call->ErrorText());
  } else {
    vm.ClearTagError(kCallTag);
  }
  if (r <= 0) {
    vm.Jump(skip);
    return;
  }
  vm.Features().Push(std::move(call));
}

void OpHttp(ZetoVM& vm, const TagInstruction& ins) {
  Begin(vm, ins, 5);
}
void OpHttp8(ZetoVM& vm, const TagInstruction& ins) {
  Begin(vm, ins, 8);
}
void OpHttpn(ZetoVM& vm, const TagInstruction& ins) {
  Begin(vm, ins, ins.b);
}

void OpHttpLoop(ZetoVM& vm, const TagInstruction& ins) {
  Feature* f = vm.Features().Innermost(FeatureKind::kCall);
  if (f == nullptr) {
    vm.FatalError("Invalid instruction");
    return;
  }
  auto* call = static_cast<Call*>(f);
  int r = call->NextObject();
  if (r == 1) {
    vm.Jump(int64_t{ins.next} + ins.a);
    return;
  }
  if (r < 0) vm.RuntimeError(kCallTag, call->ErrorText());
  vm.Features().Stop(f);
}

void OpHttpStop(ZetoVM& vm, const TagInstruction& ins) {
  Feature* f = vm.Features().Innermost(FeatureKind::kCall);
  if (f == nullptr) {
    vm.FatalError("Invalid instruction");
    return;
  }
  vm.Features().Stop(f);
  vm.Jump(int64_t{ins.next} + ins.a);
}

void Install() {
  SetTagInstructionHandler(kOpHttp, OpHttp);
  SetTagInstructionHandler(kOpHttp8, OpHttp8);
  SetTagInstructionHandler(kOpHttpn, OpHttpn);
  SetTagInstructionHandler(kOpHttpLoop, OpHttpLoop);
  SetTagInstructionHandler(kOpHttpStop, OpHttpStop);
  InstallMailInstructions();
}

}  // namespace

void InstallNetworkInstructions() {
  static std::once_flag once;
  std::call_once(once, Install);
}

}  // namespace orin
