// Exported interface: scopes (ztVariableHash_*).
#include "libraries/exports.h"
#include "libraries/plugin_scope.h"
#include "variables/variable.h"

using namespace orin;

extern "C" {

ztVariableHash* ztVariableHash_Allocate(void) {
  return Handle(PluginScope::New());
}

void ztVariableHash_Free(ztVariableHash* hash) {
  delete Host(hash);
}

int32_t ztVariableHash_Insert(ztVariableHash* hash, ztVariable* v) {
  if (hash == nullptr || v == nullptr) return -1;
  VariableHash* scope = Host(hash);
  if (scope->FindEntry(Host(v)->Name().view()) >= 0) return -1;
  return scope->Insert(Host(v));
}

ztVariable* ztVariableHash_Find(ztVariableHash* hash, const char* name, int32_t name_length) {
  std::string_view text = MeasuredText(name, name_length);
  Variable* found = nullptr;
  Host(hash)->Find(&found, text.data(), static_cast<int64_t>(text.size()), true);
  return Handle(found);
}

ztVariable* ztVariableHash_Index(ztVariableHash* hash, int32_t entry) {
  return Handle(Host(hash)->Index(entry, false));
}

int32_t ztVariableHash_Entries(ztVariableHash* hash) {
  return static_cast<int32_t>(Host(hash)->Entries());
}

int ztVariableHash_ReplaceVariable(ztVariableHash* hash, ztVariable* v) {
  if (v == nullptr) return 0;
  return Host(hash)->ReplaceVariable(Host(v)) ? 1 : 0;
}

ztVariable* ztVariableHash_SetVariable(ztVariableHash* hash, const char* name, int32_t name_length,
                                       const char* value, int32_t value_length) {
  std::string_view n = MeasuredText(name, name_length);
  std::string_view v = MeasuredText(value, value_length);
  return Handle(Host(hash)->SetVariable(n.data(), static_cast<int64_t>(n.size()), v.data(),
                                        static_cast<int64_t>(v.size())));
}

void ztVariableHash_Dump(ztVariableHash* hash) {
  Host(hash)->Dump();
}

}  // extern "C"
