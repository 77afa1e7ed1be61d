// OrinConfig: the configuration of one run, read again at its start so that
// changed settings take effect on the next request.
//
// Configured libraries go straight to the run's registries; configured
// error settings change the process-wide defaults, which every run first
// resets to the table as it was when the run's configuration was made.
#ifndef ORIN_APP_ORIN_CONFIG_H_
#define ORIN_APP_ORIN_CONFIG_H_

#include <string_view>

#include "app/orin_base_config.h"
#include "vm/error_settings.h"

namespace orin {

// Where a run's configured libraries are registered: the external call
// manager (builtin) and the commerce, database and system registries.
class LibraryRegistrar {
 public:
  virtual ~LibraryRegistrar() = default;
  virtual void RegisterBuiltinLibrary(std::string_view path) = 0;
  virtual void RegisterCommerceLibrary(std::string_view name, std::string_view path) = 0;
  virtual void RegisterDatabaseLibrary(std::string_view name, std::string_view path) = 0;
  virtual void RegisterSystemLibrary(std::string_view name, std::string_view path) = 0;
};

class OrinConfig : public OrinBaseConfig {
 public:
  // The registrar is not owned; null drops configured libraries. The
  // process-wide error settings are copied now.
  explicit OrinConfig(LibraryRegistrar* registrar);
  OrinConfig(LibraryRegistrar* registrar, ConfigFiles files);

  void AddSystemLibrary(std::string_view name, std::string_view path) override;
  void AddBuiltinLibrary(std::string_view path) override;
  void AddCommerceLibrary(std::string_view name, std::string_view path) override;
  void AddDatabaseLibrary(std::string_view name, std::string_view path) override;
  // Sets the named tag's process-wide default from the configured text.
  void SetErrorSetting(std::string_view name, std::string_view value) override;
  // Registries are filled once per run; nothing to clear.
  void ClearLibraries() override {}
  // Puts back the process-wide defaults copied at construction.
  void ClearErrorSettings() override;
  // The registrar of the next Load (not owned; null drops libraries).
  void set_registrar(LibraryRegistrar* registrar) { registrar_ = registrar; }

 private:
  LibraryRegistrar* registrar_;
  ErrorSettings saved_settings_;
};

}  // namespace orin

#endif  // ORIN_APP_ORIN_CONFIG_H_
