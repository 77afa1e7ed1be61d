// Exported interface: the running program's services (ztProgram_*).
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "libraries/exports.h"
#include "libraries/library_registries.h"
#include "libraries/text_codecs.h"
#include "network/network_manager.h"
#include "network/openssl.h"
#include "output/output.h"
#include "platform/host_lookup.h"
#include "util/config.h"
#include "util/hash_table.h"
#include "variables/dynamic_name.h"
#include "variables/json_decode.h"
#include "variables/json_encode.h"
#include "variables/link_buffer.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"
#include "variables/variable_list.h"
#include "vm/dynamic_expression.h"
#include "vm/external_call.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

using namespace orin;

namespace {

// One registered datum; its destroy function runs when it is replaced or
// its table goes away.
struct Persistent {
  Persistent(void* d, void (*f)(void*)) : data(d), destroy(f) {}
  Persistent(const Persistent&) = delete;
  Persistent& operator=(const Persistent&) = delete;
  void* data;
  void (*destroy)(void*);
  ~Persistent() {
    if (destroy != nullptr) destroy(data);
  }
};

class PersistentTable : public ZetoApplication::RunData {
 public:
  PersistentTable() : table_(8, true, 16) {}
  void Register(std::string_view name, void* data, void (*destroy)(void*)) {
    table_.Set(name, std::make_unique<Persistent>(data, destroy));
  }
  void* Lookup(std::string_view name) {
    std::unique_ptr<Persistent>* entry = table_.Find(name);
    return entry != nullptr ? (*entry)->data : nullptr;
  }

 private:
  HashTable<std::unique_ptr<Persistent>> table_;
};

// The process-wide table is shared by every request thread.
std::mutex g_persistent_mutex;
PersistentTable& ProcessPersistent() {
  static PersistentTable* const table = new PersistentTable();
  return *table;
}

PersistentTable* RunPersistent(ztProgram* program, bool create) {
  if (program == nullptr) return nullptr;
  ZetoApplication* application = Host(program)->application();
  if (application == nullptr) return nullptr;
  std::unique_ptr<ZetoApplication::RunData>& slot = application->plugin_data();
  if (!slot && create) slot = std::make_unique<PersistentTable>();
  return static_cast<PersistentTable*>(slot.get());
}

ZetoApplication* App(ztProgram* program) {
  return program != nullptr ? Host(program)->application() : nullptr;
}

char* Encoded(std::string text, int32_t* result_length) {
  return AllocatedText(text, result_length);
}

int32_t ListVariables(VariableHash* scope, ztVariableList* list) {
  if (scope == nullptr || list == nullptr) return 0;
  VariableList* out = Host(list);
  uint32_t before = out->Entries();
  scope->Variables(out);
  return static_cast<int32_t>(out->Entries() - before);
}

}  // namespace

extern "C" {

void* ztProgram_Allocate(ztProgram*, size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}

void ztProgram_Free(ztProgram*, void* memory) {
  std::free(memory);
}

int ztProgram_Output(ztProgram* program, const char* bytes, int32_t length) {
  Output* out = program != nullptr ? Host(program)->CurrentOutput() : nullptr;
  if (out == nullptr) return 0;
  std::string_view text = MeasuredText(bytes, length);
  return out->Write(text.data(), Length32(text.size())) >= 0 ? 1 : 0;
}

int ztProgram_Output_Flush(ztProgram* program) {
  Output* out = program != nullptr ? Host(program)->CurrentOutput() : nullptr;
  return out != nullptr && out->Flush() >= 0 ? 1 : 0;
}

int ztProgram_Output_Header(ztProgram* program, const char* name, int32_t name_length,
                            const char* value, int32_t value_length) {
  Output* out = program != nullptr ? Host(program)->CurrentOutput() : nullptr;
  if (out == nullptr) return 0;
  return out->SetHeader(MeasuredText(name, name_length), MeasuredText(value, value_length));
}

void ztProgram_FatalError(ztProgram* program, const char* message, int32_t length) {
  if (program != nullptr) Host(program)->FatalError(MeasuredText(message, length));
}

ztSegment* ztProgram_Compile_Dynamic_Expression(ztProgram* program, const char* text,
                                                int32_t length, char** error,
                                                int32_t* error_length) {
  const char* message = nullptr;
  int32_t message_length = 0;
  Segment* segment = orin::ztProgram_Compile_Dynamic_Expression(Host(program), text, length,
                                                                &message, &message_length);
  if (segment == nullptr && error != nullptr) {
    *error = AllocatedText(std::string_view(message != nullptr ? message : "",
                                            message != nullptr ? message_length : 0),
                           error_length);
  }
  return Handle(segment);
}

int ztProgram_Execute_Dynamic_Expression(ztProgram* program, ztSegment* segment,
                                         ztVariableHash* locals, ztVariable* result) {
  if (segment == nullptr || result == nullptr) return 0;
  return orin::ztProgram_Execute_Dynamic_Expression(Host(program), Host(segment), Host(locals),
                                                    Host(result));
}

int ztProgram_Execute_Dynamic_Expression_Boolean(ztProgram* program, ztSegment* segment,
                                                 ztVariableHash* locals, int32_t* value) {
  int32_t ignored = 0;
  if (segment == nullptr) return 0;
  return orin::ztProgram_Execute_Dynamic_Expression_Boolean(
      Host(program), Host(segment), Host(locals), value != nullptr ? value : &ignored);
}

const ztFunctionEntry* ztProgram_Lookup_ExternalFunction(ztProgram* program, const char* name,
                                                         int32_t name_length) {
  ExternalCallManager* calls = program != nullptr ? Host(program)->external_calls() : nullptr;
  if (calls == nullptr) return nullptr;
  return reinterpret_cast<const ztFunctionEntry*>(
      calls->FindEntry(MeasuredText(name, name_length)));
}

int ztProgram_RunFunction(ztProgram* program, const char* name, int32_t name_length,
                          ztVariableList* arguments, ztVariable* result) {
  if (program == nullptr) return 0;
  VariableList none;
  return Host(program)->RunFunction(MeasuredText(name, name_length),
                                    arguments != nullptr ? Host(arguments) : &none,
                                    result != nullptr ? Host(result) : nullptr)
             ? 1
             : 0;
}

int ztProgram_JSON_Encode(ztProgram* program, ztVariable* v, uint32_t options, ztLinkBuffer* out) {
  if (v == nullptr || out == nullptr) return 0;
  ZetoApplication* application = App(program);
  bool utf8 = application != nullptr && application->IsUtf8();
  JsonEncode(Host(v), options, utf8, Host(out));
  return 1;
}

int ztProgram_JSON_Decode(ztProgram*, const char* text, int32_t length, ztVariable* target,
                          char** error, int32_t* error_length, int32_t* error_capacity) {
  if (target == nullptr) return 0;
  ByteString message;
  if (JsonDecode(MeasuredText(text, length), Host(target), &message)) return 1;
  if (error != nullptr) *error = AllocatedText(message.view(), error_length, error_capacity);
  return 0;
}

int ztProgram_Register_Persistent(ztProgram*, const char* name, int32_t name_length, void* data,
                                  void (*destroy)(void*)) {
  std::lock_guard<std::mutex> lock(g_persistent_mutex);
  ProcessPersistent().Register(MeasuredText(name, name_length), data, destroy);
  return 1;
}

void* ztProgram_Lookup_Persistent(ztProgram*, const char* name, int32_t name_length) {
  std::lock_guard<std::mutex> lock(g_persistent_mutex);
  return ProcessPersistent().Lookup(MeasuredText(name, name_length));
}

int ztProgram_Register_Local_Persistent(ztProgram* program, const char* name, int32_t name_length,
                                        void* data, void (*destroy)(void*)) {
  PersistentTable* table = RunPersistent(program, true);
  if (table == nullptr) return 0;
  table->Register(MeasuredText(name, name_length), data, destroy);
  return 1;
}

void* ztProgram_Lookup_Local_Persistent(ztProgram* program, const char* name, int32_t name_length) {
  PersistentTable* table = RunPersistent(program, false);
  return table != nullptr ? table->Lookup(MeasuredText(name, name_length)) : nullptr;
}

int ztProgram_Sleep(ztProgram* program, int32_t milliseconds) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  application->Sleep(milliseconds);
  return application->TimedOut() ? 0 : 1;
}

// Waits for the run's asynchronous tasks: ends early when one of them ends
// (or ended since the script last looked), and never waits longer than
// "asyncsleeptimeout" seconds; a negative time waits that long. 2 when a
// task ended, 1 when the time passed, 0 when the run timed out or was
// aborted meanwhile.
int ztProgram_Asynchronous_Sleep(ztProgram* program, int32_t milliseconds) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  Config* config = application->GetConfig();
  int64_t limit = config != nullptr ? int64_t{config->GetInt(config_key::kTimeoutAsyncSleep)} : 0;
  int64_t wait = milliseconds;
  if (limit > 0 && (wait < 0 || wait > limit * 1000)) wait = limit * 1000;
  if (wait > INT32_MAX) wait = INT32_MAX;
  bool signalled =
      application->SleepUntilSignal(static_cast<int32_t>(wait), Host(program)->signals_seen());
  if (application->TimedOut()) return 0;
  return signalled ? 2 : 1;
}

void ztProgram_ResetGlobalTimeout(ztProgram* program) {
  if (ZetoApplication* application = App(program)) application->StartGlobalTimer();
}

char* ztProgram_Entity_Encode(ztProgram*, const char* text, int32_t length,
                              int32_t* result_length) {
  return Encoded(EntityEncoded(MeasuredText(text, length)), result_length);
}

char* ztProgram_Entity_Decode(ztProgram*, const char* text, int32_t length,
                              int32_t* result_length) {
  return Encoded(EntityDecoded(MeasuredText(text, length)), result_length);
}

char* ztProgram_Attribute_Encode(ztProgram*, const char* text, int32_t length,
                                 int32_t* result_length) {
  return Encoded(AttributeEncoded(MeasuredText(text, length)), result_length);
}

char* ztProgram_Attribute_Decode(ztProgram*, const char* text, int32_t length,
                                 int32_t* result_length) {
  return Encoded(EntityDecoded(MeasuredText(text, length)), result_length);
}

char* ztProgram_JavaScriptString_Encode(ztProgram*, const char* text, int32_t length,
                                        int32_t* result_length) {
  return Encoded(JavaScriptStringEncoded(MeasuredText(text, length)), result_length);
}

const char* ztProgram_GetCharacterSet(ztProgram* program, int32_t* length) {
  ZetoApplication* application = App(program);
  std::string_view charset = application != nullptr ? application->CharacterSet() : "";
  if (length != nullptr) *length = Length32(charset.size());
  return charset.empty() ? "" : charset.data();
}

int ztProgram_SetCharacterSet(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  application->SetCharacterSet(MeasuredText(name, length));
  return 1;
}

int ztProgram_CharacterSetIsUTF8(ztProgram* program) {
  ZetoApplication* application = App(program);
  return application != nullptr && application->IsUtf8() ? 1 : 0;
}

int ztProgram_SetLanguage(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  application->SetLanguage(MeasuredText(name, length));
  return 1;
}

int ztProgram_SetDefaultLanguage(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  application->SetDefaultLanguage(MeasuredText(name, length));
  return 1;
}

int ztProgram_SetDefaultDatabase(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  application->SetDefaultDatabase(MeasuredText(name, length));
  return 1;
}

int ztProgram_SetProcessName(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  if (application == nullptr) return 0;
  application->SetProcessName(MeasuredText(name, length));
  return 1;
}

// 32 hexadecimal digits from the system's secure random source.
char* ztProgram_MakeSessionID(ztProgram*, int32_t* length) {
  unsigned char bytes[16];
  if (!SecureRandomBytes(bytes, sizeof bytes)) return nullptr;
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char b : bytes) {
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  return AllocatedText(id, length);
}

// Loads the run's TLS library on first use. A plug-in calling through the
// pointer uses the very library the server's own connections use.
void* ztProgram_SSL_Function(ztProgram* program, const char* name) {
  ZetoApplication* application = App(program);
  NetworkManager* network = application != nullptr ? application->GetNetworkManager() : nullptr;
  OpenSSL* ssl = network != nullptr ? network->Ssl() : nullptr;
  return ssl != nullptr ? ssl->Function(name) : nullptr;
}

int ztProgram_Deprecated_Enabled(ztProgram* program) {
  ZetoApplication* application = App(program);
  Config* config = application != nullptr ? application->GetConfig() : nullptr;
  return config != nullptr && config->GetInt(config_key::kEnableDeprecated) != 0 ? 1 : 0;
}

ztVariableHash* ztProgram_Global_VariableHash(ztProgram* program) {
  return program != nullptr ? Handle(Host(program)->Globals()) : nullptr;
}

ztVariableHash* ztProgram_System_VariableHash(ztProgram* program) {
  return program != nullptr ? Handle(Host(program)->SystemTable()) : nullptr;
}

int32_t ztProgram_Global_Variables(ztProgram* program, ztVariableList* list) {
  return program != nullptr ? ListVariables(Host(program)->Globals(), list) : 0;
}

int32_t ztProgram_Local_Variables(ztProgram* program, ztVariableList* list) {
  return program != nullptr ? ListVariables(Host(program)->Locals(), list) : 0;
}

int32_t ztProgram_System_Variables(ztProgram* program, ztVariableList* list) {
  return program != nullptr ? ListVariables(Host(program)->SystemTable(), list) : 0;
}

ztVariable* ztProgram_Lookup_Variable(ztProgram* program, const char* name, int32_t length) {
  if (program == nullptr) return nullptr;
  return Handle(LookupDynamicVariable(*Host(program), MeasuredText(name, length)));
}

int ztProgram_Compare(ztProgram*, ztVariable* a, ztVariable* b) {
  if (a == nullptr || b == nullptr) return 0;
  return CompareVariables(Host(a), Host(b));
}

ztSystemLibrary* ztProgram_SystemLibrary(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  SystemLibraryManager* systems =
      application != nullptr ? application->GetSystemLibraryManager() : nullptr;
  if (systems == nullptr) return nullptr;
  return Handle(systems->Get(MeasuredText(name, length)));
}

int ztProgram_SystemLibrary_IsRegistered(ztProgram* program, const char* name, int32_t length) {
  ZetoApplication* application = App(program);
  SystemLibraryManager* systems =
      application != nullptr ? application->GetSystemLibraryManager() : nullptr;
  return systems != nullptr && systems->IsRegistered(MeasuredText(name, length)) ? 1 : 0;
}

}  // extern "C"
