// Exported interface: what a configuration library calls while it is
// initialised (ztConfig_*).
#include "libraries/exports.h"
#include "libraries/external_config.h"
#include "util/config.h"
#include "vm/error_settings.h"

using namespace orin;

namespace {

ExternalConfig* Host(ztConfig* config) {
  return reinterpret_cast<ExternalConfig*>(config);
}

std::string_view Text(const char* bytes, int32_t length) {
  return MeasuredText(bytes, length);
}

}  // namespace

extern "C" {

int ztConfig_Register_Library_Builtin(ztConfig* config, const char*, int32_t, const char* path,
                                      int32_t path_length) {
  Host(config)->libraries()->RegisterBuiltin(Text(path, path_length));
  return 0;
}

int ztConfig_Register_Library_Commerce(ztConfig* config, const char* method, int32_t method_length,
                                       const char* path, int32_t path_length) {
  Host(config)->libraries()->commerce().Register(Text(method, method_length),
                                                 Text(path, path_length));
  return 0;
}

int ztConfig_Register_Library_Database(ztConfig* config, const char* type, int32_t type_length,
                                       const char* path, int32_t path_length) {
  Host(config)->libraries()->databases().Register(Text(type, type_length), Text(path, path_length));
  return 0;
}

int ztConfig_Register_Library_System(ztConfig* config, const char* name, int32_t name_length,
                                     const char* path, int32_t path_length) {
  Host(config)->libraries()->systems().Register(Text(name, name_length), Text(path, path_length));
  return 0;
}

int ztConfig_SetValue(ztConfig* config, uint32_t key, const char* bytes, int32_t length, int32_t) {
  std::string_view text = Text(bytes, length);
  return Host(config)->settings()->SetString(key, text.data(), Length32(text.size()), false) != 0
             ? 1
             : 0;
}

int ztConfig_SetValue_Integer(ztConfig* config, uint32_t key, int32_t value) {
  return Host(config)->settings()->SetInt(key, value) != 0 ? 1 : 0;
}

void ztConfig_SetVariable_Global(ztConfig* config, const char* name, int32_t name_length,
                                 const char* value, int32_t value_length) {
  Host(config)->QueueGlobal(Text(name, name_length), Text(value, value_length));
}

void ztConfig_SetVariable_System(ztConfig* config, const char* name, int32_t name_length,
                                 const char* value, int32_t value_length) {
  Host(config)->QueueSystem(Text(name, name_length), Text(value, value_length));
}

int ztConfig_Set_DefaultErrorSetting(ztConfig*, const char* tag, int32_t tag_length,
                                     int32_t setting) {
  return orin::ztConfig_Set_DefaultErrorSetting(tag, tag_length, setting);
}

}  // extern "C"
