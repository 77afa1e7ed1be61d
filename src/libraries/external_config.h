// ExternalConfig: settings, library registrations and preset variables
// supplied by a configuration library ("zeto_config_library").
//
// Open loads the library and calls its init entry, through which the
// library calls back ztConfig_* to register libraries, store settings and
// queue variables. Setting look-ups ask the library first and fall back to
// the built-in configuration. ApplyVariables puts the queued variables into
// a run's scopes. Destroying the object calls the library's cleanup.
#ifndef ORIN_LIBRARIES_EXTERNAL_CONFIG_H_
#define ORIN_LIBRARIES_EXTERNAL_CONFIG_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "libraries/library_registries.h"
#include "orin/plugin.h"

namespace orin {

class Config;
class VariableHash;

class ExternalConfig {
 public:
  // None owned: `settings` is the built-in configuration, `libraries`
  // receives the registrations.
  ExternalConfig(Config* settings, RunLibraries* libraries);
  ~ExternalConfig();
  ExternalConfig(const ExternalConfig&) = delete;
  ExternalConfig& operator=(const ExternalConfig&) = delete;

  // Loads the configuration library; false with ErrorText. The three texts
  // go to its init entry.
  bool Open(std::string_view path, const std::string& config_path, const std::string& options);
  // The per-script load for `script_path`; false with ErrorText.
  bool LoadScript(std::string_view script_path);

  // The library's value of a setting, else the built-in one.
  int32_t GetInt(uint32_t key);
  std::string GetText(uint32_t key);

  // Inserts the queued variables: system ones locked.
  void ApplyVariables(VariableHash* system, VariableHash* globals);

  // What ztConfig_* do.
  void QueueGlobal(std::string_view name, std::string_view value);
  void QueueSystem(std::string_view name, std::string_view value);
  Config* settings() const { return settings_; }
  RunLibraries* libraries() const { return libraries_; }
  const std::string& ErrorText() const { return error_; }

 private:
  std::string LibraryError(const char* fallback);

  Config* settings_;
  RunLibraries* libraries_;
  ExternalLibrary* library_ = nullptr;
  const ztConfigTable* table_ = nullptr;
  void* context_ = nullptr;
  std::string path_;
  std::string error_;
  std::vector<std::pair<std::string, std::string>> globals_;
  std::vector<std::pair<std::string, std::string>> system_;
};

}  // namespace orin

#endif  // ORIN_LIBRARIES_EXTERNAL_CONFIG_H_
