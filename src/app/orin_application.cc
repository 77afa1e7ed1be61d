#include "app/orin_application.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/host_functions.h"
#include "app/orin_async_application.h"
#include "app/program_cache.h"
#include "database/database_registry.h"
#include "files/file_manager.h"
#include "libraries/commerce.h"
#include "libraries/library_registries.h"
#include "network/call.h"
#include "output/orin_output.h"
#include "platform/clock.h"
#include "platform/host_lookup.h"
#include "platform/local_time.h"
#include "server/request_body.h"
#include "server/upload_handler.h"
#include "server/url_encoded_parser.h"
#include "util/ascii.h"
#include "util/config.h"
#include "util/html_encode.h"
#include "util/md5.h"
#include "util/memory_stream.h"
#include "variables/immutable_variable.h"
#include "variables/variable_hash.h"
#include "variables/variable_list.h"
#include "vm/external_call.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// Programs up to this size are loaded from memory.
constexpr int32_t kWholeProgramLimit = 4 << 20;

// Reads `stream` from its start into `out` when it ends within `limit`
// bytes. Otherwise (or when a read fails) false, with the stream back at
// its start for reading in place.
bool ReadWholeStream(Stream* stream, int32_t limit, MemoryStream* out) {
  std::string bytes;
  int32_t size = 0;
  for (;;) {
    // Start small and double: most programs are a few kilobytes, and every
    // byte of room is cleared before the read.
    int32_t step = std::clamp(size, int32_t{4096}, int32_t{64 * 1024});
    int32_t want = size < limit ? std::min(limit + 1 - size, step) : 1;
    bytes.resize(static_cast<size_t>(size) + static_cast<size_t>(want));
    int32_t n = stream->Read(bytes.data() + size, want);
    if (n == 0) break;
    if (n < 0 || n > want || (size += n) > limit) {
      stream->Seek(0);
      return false;
    }
  }
  bytes.resize(static_cast<size_t>(size));
  *out = MemoryStream(std::move(bytes));
  return true;
}

// %XX escapes decoded; a malformed escape stays as it is.
std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// The reverse lookup of the client's address, done only when a script
// reads remote_host; the dotted address when the lookup finds nothing.
class RemoteHostVariable : public DynamicImmutableVariable {
 public:
  explicit RemoteHostVariable(std::string address)
      : DynamicImmutableVariable("remote_host"), address_(std::move(address)) {
    Lock();
  }
  bool IsCurrent() override { return resolved_; }
  void Refresh() override {
    resolved_ = true;
    std::string host = address_.empty() ? std::string() : ReverseLookup(address_);
    if (host.empty()) host = address_;
    StoreText(host.data(), host.size());
  }

 private:
  std::string address_;
  bool resolved_ = false;
};

// The upload functions run on the request's machine.
class MachineUploadHandler : public ApplicationUploadHandler {
 public:
  MachineUploadHandler(ZetoApplication* app, ZetoVM* machine)
      : ApplicationUploadHandler(app), machine_(machine) {}

  bool FindFunction(std::string_view name, int* parameter_count) override {
    Function* f =
        machine_->functions()->FindFunction(name.data(), static_cast<int64_t>(name.size()));
    if (f == nullptr) return false;
    *parameter_count = static_cast<int>(f->parameters().size());
    return true;
  }

  bool CallFunction(std::string_view name, const std::vector<Variable*>& args,
                    Variable* result) override {
    VariableList list;
    for (Variable* v : args)
      list.Insert(v);
    bool ok = machine_->RunFunction(name, &list, result);
    return ok && !machine_->Aborted() && application()->exit_flag().load() == 0;
  }

 private:
  ZetoVM* machine_;
};

}  // namespace

bool ApplyConfigOverrides(Config* config,
                          const std::vector<std::pair<uint32_t, std::string>>& overrides,
                          std::string* error) {
  for (const auto& [key, value] : overrides) {
    if (IsIntConfigKey(key)) {
      char* end = nullptr;
      long long number = std::strtoll(value.c_str(), &end, 0);
      if (value.empty() || *end != 0 || number < INT32_MIN || number > UINT32_MAX) {
        *error = "not a number: '" + value + "'";
        return false;
      }
      config->SetInt(key, static_cast<int32_t>(static_cast<uint32_t>(number)));
    } else {
      config->SetText(key, value);
    }
  }
  return true;
}

OrinApplication::OrinApplication(Request* request, std::string script_path, RunSettings settings)
    : OrinBaseApplication(std::make_unique<OrinConfig>(nullptr, settings.files)),
      request_(request),
      script_path_(std::move(script_path)),
      settings_(std::move(settings)),
      output_sink_(std::make_unique<OrinOutput>([this] { Abort(); }, request->ResponseSink())),
      run_log_(config_.get(), ProcessId(), ThreadId()),
      error_reporter_(config_.get()) {
  output_ = output_sink_.get();
  output_sink_->set_send_wait_ms(request->SendWaitMillis());
  tasks_ = std::make_unique<AsyncTasks>(this);
  // The database and ZtCALL instructions are served from the first run on.
  InstallDatabaseLayer();
  InstallLibraryLayer();
  InstallNetworkInstructions();
}

OrinApplication::~OrinApplication() {
  // Tasks first: they run over this run's variables and program.
  tasks_.reset();
  if (machine_) machine_->Release();
  // The machine goes before the scopes and the program it runs over.
  machine_.reset();
  SetOutput(nullptr);
}

std::string OrinApplication::RequestUri() {
  std::string uri(request_->Path());
  uri += '?';
  if (const std::string* q = request_->QueryString()) uri += *q;
  return uri;
}

int OrinApplication::Run() {
  std::srand(static_cast<unsigned>(WallClockSeconds()));
  output_sink_->SetConfig(config_.get());
  bool ready = LoadConfiguration() && LoadProgramFile() && CheckDataDirectory();
  if (ready) {
    BuildMachine();
    AddRequestVariables();
    AddSystemVariables(system_.get());
    AddArgumentVariables();
    ready = AddQueryVariables();
  }
  if (ready) {
    AddRunVariables();
    SendDefaultHeaders();
    ready = ReadBody();
  }
  if (!ready) {
    output_sink_->Finish(true);
    return kEndedBeforeScript;
  }
  StartGlobalTimer();
  machine_result_ = RunMachine();
  output_sink_->Finish(true);
  machine_->Release();
  if (tasks_->Running() > 0) {
    // The response is complete; the client need not wait for the tasks.
    request_->EndResponse();
    tasks_->JoinAll();
  }
  return kScriptRan;
}

bool OrinApplication::LoadConfiguration() {
  config_->Load();
  std::string error;
  if (!ApplyConfigOverrides(config_.get(), settings_.overrides, &error)) {
    ConfigurationError(error);
    return false;
  }
  std::string_view root = config_->GetText(config_key::kDirZeto);
  if (root.empty()) {
    ConfigurationError("zetoroot is not defined");
    return false;
  }
  if (!files_->SetScriptDirectory(root)) {
    ConfigurationError(files_->ErrorText());
    return false;
  }
  return true;
}

bool OrinApplication::LoadProgramFile() {
  script_opener_ = std::make_unique<AreaStreamOpener>(files_.get(), kScriptArea);
  AreaStreamOpener& opener = *script_opener_;
  std::shared_ptr<const std::string> bytes =
      ProgramCache::Shared().Find(program_file_, program_identity_);
  std::unique_ptr<TaggedFile> file;
  bool attached = false;
  Stream* stream = nullptr;  // a large program is read in place
  if (bytes == nullptr) {
    stream = opener.OpenStream(script_path_, kOpenRead);
    if (stream == nullptr) {
      // The path is encoded here and once more by WriteError.
      WriteError(UnableToExecuteMessage(HtmlEncoded(script_path_, HtmlEncoding::kErrorText),
                                        opener.ErrorText()));
      return false;
    }
    // The loader reads a program in many small pieces, each a seek and a
    // read of the file; a program of ordinary size is read whole first.
    MemoryStream whole;
    if (ReadWholeStream(stream, kWholeProgramLimit, &whole)) {
      opener.CloseStream(stream);
      stream = nullptr;
      bytes = std::make_shared<const std::string>(whole.bytes());
      KeepInCache(bytes);
    } else {
      file = std::make_unique<TaggedFile>(&opener);
      attached = file->Attach(script_path_, stream);
    }
  }
  if (bytes != nullptr) {
    // Sections loaded late (localized token indexes) come from these same
    // bytes, never from a newer version of the file.
    program_bytes_ = std::make_unique<BytesStreamOpener>(bytes);
    file = std::make_unique<TaggedFile>(program_bytes_.get());
    attached = file->Open(script_path_);
  }
  bool loaded = attached && image_.Load(*file, LoadOrder::kMainScript);
  file->Close();
  if (stream != nullptr) opener.CloseStream(stream);
  image_.file = std::move(file);
  image_.dictionary.set_share_storage(false);
  if (!attached) {
    WriteError(UnableToExecuteMessage(script_path_, image_.file->GetError()));
    return false;
  }
  if (!loaded) {
    WriteError(SectionFailureMessage(script_path_, LoadOrder::kMainScript));
    return false;
  }
  return true;
}

// Keeps what was just read when the file is still the version the request
// resolved (the cache checks that it did not change during the read).
void OrinApplication::KeepInCache(std::shared_ptr<const std::string> bytes) {
  FileStatus status;
  if (program_file_.empty() || !program_identity_.known() ||
      !files_->StatOf(kScriptArea, script_path_, &status)) {
    return;
  }
  FileIdentity after{status.device, status.inode, status.regular ? status.size : -1,
                     status.modified_seconds * 1000000000 + status.modified_nanoseconds,
                     status.changed_ns};
  WallClockTime now = WallClockNow();
  ProgramCache::Shared().Store(program_file_, program_identity_, after,
                               now.seconds * 1000000000 + now.nanoseconds, std::move(bytes));
}

bool OrinApplication::CheckDataDirectory() {
  std::string_view data = config_->GetText(config_key::kDirData);
  if (data.empty()) {
    ConfigurationError("No data directory is defined");
    return false;
  }
  if (!files_->SetDataDirectory(data)) {
    ConfigurationError(files_->ErrorText());
    return false;
  }
  std::string_view temp = config_->GetText(config_key::kDirTemp);
  if (!temp.empty() && !files_->SetTemporaryDirectory(temp)) {
    ConfigurationError(files_->ErrorText());
    return false;
  }
  std::string_view filter = config_->GetText(config_key::kLogFilter);
  if (!filter.empty()) run_log_.ParseLogFilter(filter);
  run_log_.CheckLogCookie(request_->Header("Cookie"));
  output_sink_->set_chunk_size(config_->GetInt(config_key::kBufszOutput));
  output_sink_->set_flush_threshold(config_->GetInt(config_key::kBufszOutputFlush));
  return true;
}

void OrinApplication::BuildMachine() {
  system_ = std::make_unique<SystemVariableHash>(&image_.dictionary, &image_.system_variables);
  globals_ = std::make_unique<UserVariableHash>(&image_.dictionary, &image_.global_variables);
  external_calls_ = std::make_unique<ExternalCallManager>();
  external_calls_->AddFunctionTable(nullptr, HostFunctionTable());
  // Configured libraries come before the shipped ones, so that a site's own
  // function can stand in for a standard one.
  std::vector<std::string> library_errors;
  libraries_.AddBuiltinTables(external_calls_.get(), DefaultBuiltinLibraries(), &library_errors);
  if (!library_errors.empty()) ReportLibraryErrors(library_errors);
  ZetoProgram program;
  program.dictionary = &image_.dictionary;
  program.system = system_.get();
  program.globals = globals_.get();
  program.segments = &image_.segments;
  program.functions = &image_.functions;
  program.external_calls = external_calls_.get();
  program.languages = &image_.languages;
  program.localized = &image_.localized_dictionary;
  machine_ = std::make_unique<ZetoVM>(script_path_, this, program);
}

void OrinApplication::AddRequestVariables() {
  VariableHash* s = system_.get();
  AddReadOnlyText(s, "server_name", request_->ServerName());
  AddReadOnlyInteger(s, "server_port", request_->ServerPort());
  AddReadOnlyText(s, "server_protocol", "HTTP/1.0");
  std::string software(kServerSoftware);
  software.append("/").append(kZetoVersion);
  AddReadOnlyText(s, "server_software", software);
  AddReadOnlyText(s, "remote_addr", request_->RemoteAddress());
  s->AdoptVariable(new RemoteHostVariable(std::string(request_->RemoteAddress())));
  AddReadOnlyText(s, "request_method", request_->Method());
  const std::string* query = request_->QueryString();
  AddReadOnlyText(s, "query_string", query ? std::string_view(*query) : std::string_view());
  AddReadOnlyText(s, "document_root", config_->GetText(config_key::kDirZeto));
  request_->Headers().ForEach([s](std::string_view name, const ByteString& value) {
    std::string var = "http_";
    for (char c : name)
      var += c == '-' ? '_' : c;
    AddReadOnlyText(s, var, value.view());
  });
  if (const ByteString* type = request_->Header("Content-Type")) {
    AddReadOnlyText(s, "CONTENT_TYPE", type->view());
  }
  if (const ByteString* length = request_->Header("Content-Length")) {
    AddReadOnlyText(s, "CONTENT_LENGTH", length->view());
  }
}

void OrinApplication::AddArgumentVariables() {
  VariableHash* s = system_.get();
  AddReadOnlyText(s, "arg1", request_->Path());
  int32_t count = 1;
  if (const std::string* query = request_->QueryString()) {
    std::string_view rest(*query);
    while (true) {
      size_t plus = rest.find('+');
      std::string_view piece = rest.substr(0, plus);
      ++count;
      AddReadOnlyText(s, "arg" + std::to_string(count), UrlDecode(piece));
      if (plus == std::string_view::npos) break;
      rest.remove_prefix(plus + 1);
    }
  }
  AddReadOnlyInteger(s, "nargs", count);
}

bool OrinApplication::AddQueryVariables() {
  const std::string* query = request_->QueryString();
  if (query == nullptr || query->empty()) return true;
  URLEncodedParser parser(globals_.get(), 0);
  if (!parser.Feed(query->data(), static_cast<int32_t>(query->size())) || !parser.Finish()) {
    WriteError(parser.ErrorText());
    return false;
  }
  return true;
}

std::string OrinApplication::DocumentUrl() {
  int32_t port = request_->ServerPort();
  std::string url = "http://";
  url.append(request_->ServerName());
  if (port != 80) url.append(":").append(std::to_string(port));
  url.append(script_path_).append("?");
  return url;
}

void OrinApplication::AddRunVariables() {
  VariableHash* s = system_.get();
  AddReadOnlyInteger(s, "process_id", static_cast<int32_t>(ProcessId()));
  AddReadOnlyInteger(s, "thread_id", static_cast<int32_t>(ThreadId()));
  AddReadOnlyText(s, "apitype", ApiType());
  AddReadOnlyText(s, "documenturl", DocumentUrl());
}

bool OrinApplication::ReadBody() {
  MachineUploadHandler uploads(this, machine_.get());
  RequestBodyTargets targets{this, globals_.get(), system_.get(), files_.get(), &uploads};
  return ReadRequestBody(targets, request_->Header("Content-Type"),
                         request_->Header("Content-Length"), request_->Body());
}

int OrinApplication::RunMachine() {
  int32_t slow = config_->GetInt(config_key::kSlowRequestSyslog);
  std::string uri = RequestUri();
  int64_t start = slow > 0 ? MonotonicMillis() : 0;
  run_log_.LogEvent(kLogTaskStart, uri);
  int result = machine_->Run();
  run_log_.LogEvent(kLogTaskEnd, uri);
  if (slow > 0) {
    int64_t seconds = (MonotonicMillis() - start) / 1000;
    if (seconds > slow) {
      auto value = [this](std::string_view name) {
        Variable* v = nullptr;
        system_->Find(&v, name.data(), static_cast<int64_t>(name.size()), false);
        if (v == nullptr || v->Value().empty()) return std::string("NULL");
        return v->Value().str();
      };
      std::string message = "Slow Request: " + std::to_string(seconds) +
                            " seconds: " + "remote_addr=" + value("remote_addr") + ", " +
                            "documenturl=" + value("documenturl") + ", " +
                            "query_string=" + value("query_string");
      error_reporter_.ReportSlowRequest(message);
    }
  }
  return result;
}

std::string OrinApplication::NewCallerId() {
  unsigned char seed[323];
  std::memset(seed, 0, sizeof seed);
  size_t n = std::min<size_t>(script_path_.size(), 255);
  std::memcpy(seed, script_path_.data(), n);
  auto put32 = [&](uint32_t v) {
    seed[n++] = static_cast<unsigned char>(v >> 24);
    seed[n++] = static_cast<unsigned char>(v >> 16);
    seed[n++] = static_cast<unsigned char>(v >> 8);
    seed[n++] = static_cast<unsigned char>(v);
  };
  put32(ProcessId());
  put32(ThreadId());
  WallClockTime now = WallClockNow();
  // 100-nanosecond units, as a 64-bit count split high then low.
  uint64_t units = static_cast<uint64_t>(now.seconds) * 10000000u +
                   static_cast<uint64_t>(now.nanoseconds) / 100u;
  put32(static_cast<uint32_t>(units >> 32));
  put32(static_cast<uint32_t>(units));
  if (!SecureRandomBytes(seed + n, sizeof seed - n)) {
    for (size_t i = n; i < sizeof seed; ++i)
      seed[i] = static_cast<unsigned char>(std::rand());
  }
  return HexLower(Md5::Digest(std::string_view(reinterpret_cast<char*>(seed), sizeof seed)));
}

void OrinApplication::SetCallerIdCookie() {
  std::string id;
  if (const ByteString* cookie = request_->Header("Cookie")) {
    std::string_view text = cookie->view();
    size_t at = text.find("pgscallerid=");
    if (at != std::string_view::npos) {
      std::string_view rest = text.substr(at + 12);
      id = std::string(rest.substr(0, rest.find(';')));
    }
  }
  if (id.empty()) id = NewCallerId();
  std::string expires =
      FormatUniversalTime(WallClockSeconds() + 31536000, "%a, %d-%b-%Y %H:%M:%S GMT");
  std::string value = "pgscallerid=" + id + "; expires=" + expires + "; path=/";
  output_->SetHeader("Set-Cookie", value);
  if (system_) AddReadOnlyText(system_.get(), "callerid", id);
}

void OrinApplication::ReportInputError(std::string_view message) {
  error_reporter_.ReportInputError(message);
  WriteError(message);
}

void OrinApplication::ReportFatalError(std::string_view message) {
  error_reporter_.ReportFatalError(message);
  WriteError(message);
}

void OrinApplication::ReportTimeout(std::string_view message) {
  error_reporter_.ReportTimeout(message);
  WriteError(message);
}

void OrinApplication::ReportRuntimeError(int32_t tag, std::string_view message, bool display) {
  error_reporter_.ReportRuntimeError(tag, message);
  if (display) WriteError(message);
}

bool OrinApplication::ShouldTrace(std::string_view file, int32_t line) {
  return run_log_.ShouldTrace(file, line);
}

void OrinApplication::WriteLogLine(uint32_t event, const LogField* fields) {
  run_log_.WriteLogLine(event, fields);
}

uint32_t OrinApplication::LogLevel() {
  return run_log_.LogLevel();
}

void OrinApplication::Abort() {
  ZetoApplication::Abort();
  AbortTasks();
}

void OrinApplication::AbortTasks() {
  tasks_->AbortAll();
  tasks_->Notify();
}

void OrinApplication::Tick(time_t now) {
  ZetoApplication::Tick(now);
  tasks_->Tick(now);
  if (TimedOut()) tasks_->Notify();
}

int32_t OrinApplication::StartAsyncTask(ZetoVM* machine, uint32_t isolation_flags) {
  int32_t limit = config_->GetInt(config_key::kMaxAsyncTasks);
  if (limit > 0 && tasks_->started() >= limit) return kAsyncTooMany;
  auto task = std::make_unique<OrinAsynchronousApplication>(*this, *machine, isolation_flags);
  return tasks_->Start(std::move(task)) ? kAsyncStarted : kAsyncFailed;
}

int32_t OrinApplication::WaitForTasks(int32_t milliseconds) {
  return tasks_->Wait(milliseconds, &timed_out_);
}

}  // namespace orin
