#include "app/orin_config.h"

namespace orin {

OrinConfig::OrinConfig(LibraryRegistrar* registrar)
    : registrar_(registrar), saved_settings_(CopyDefaultErrorSettings()) {}

OrinConfig::OrinConfig(LibraryRegistrar* registrar, ConfigFiles files)
    : OrinBaseConfig(std::move(files)),
      registrar_(registrar),
      saved_settings_(CopyDefaultErrorSettings()) {}

void OrinConfig::AddSystemLibrary(std::string_view name, std::string_view path) {
  if (registrar_) registrar_->RegisterSystemLibrary(name, path);
}

void OrinConfig::AddBuiltinLibrary(std::string_view path) {
  if (registrar_) registrar_->RegisterBuiltinLibrary(path);
}

void OrinConfig::AddCommerceLibrary(std::string_view name, std::string_view path) {
  if (registrar_) registrar_->RegisterCommerceLibrary(name, path);
}

void OrinConfig::AddDatabaseLibrary(std::string_view name, std::string_view path) {
  if (registrar_) registrar_->RegisterDatabaseLibrary(name, path);
}

void OrinConfig::SetErrorSetting(std::string_view name, std::string_view value) {
  ztConfig_Set_DefaultErrorSetting(name.data(), static_cast<int32_t>(name.size()),
                                   ParseErrorSetting(value));
}

void OrinConfig::ClearErrorSettings() {
  RestoreDefaultErrorSettings(saved_settings_);
}

}  // namespace orin
