#include "libraries/external_config.h"

#include "libraries/handles.h"
#include "util/config.h"
#include "variables/immutable_variable.h"
#include "variables/variable_hash.h"

namespace orin {

namespace {

using TableFunction = const void* (*)();

ztConfig* Handle(ExternalConfig* config) {
  return reinterpret_cast<ztConfig*>(config);
}

}  // namespace

ExternalConfig::ExternalConfig(Config* settings, RunLibraries* libraries)
    : settings_(settings), libraries_(libraries) {}

ExternalConfig::~ExternalConfig() {
  if (table_ != nullptr && table_->cleanup != nullptr) table_->cleanup(Handle(this), context_);
}

std::string ExternalConfig::LibraryError(const char* fallback) {
  if (table_->error == nullptr) return fallback;
  const char* text = table_->error(Handle(this), context_);
  return text != nullptr ? text : "";
}

bool ExternalConfig::Open(std::string_view path, const std::string& config_path,
                          const std::string& options) {
  path_.assign(path);
  library_ = libraries_->libraries()->Open(path, kConfigurationLibrary, &error_);
  if (library_ == nullptr) return false;
  void* symbol = library_->Symbol("zeto_config_library", &error_);
  if (symbol == nullptr) return false;
  table_ = static_cast<const ztConfigTable*>(reinterpret_cast<TableFunction>(symbol)());
  if (table_ == nullptr) {
    error_ = "Unable to retrieve configuration descriptor table";
    return false;
  }
  if (table_->init == nullptr) return true;
  if (table_->init(Handle(this), context_, config_path.c_str(), path_.c_str(), options.c_str()) !=
      0) {
    error_ = LibraryError("Error initializing configuration library");
    return false;
  }
  return true;
}

bool ExternalConfig::LoadScript(std::string_view script_path) {
  if (table_ == nullptr) return true;
  if (table_->version == 1 && table_->old_script_load != nullptr) {
    error_ =
        "Configuration library uses no longer supported v1 API script-specific configuration "
        "load method";
    return false;
  }
  if (table_->script_load == nullptr) return true;
  std::string path(script_path);
  if (table_->script_load(Handle(this), context_, path.c_str(),
                          static_cast<int32_t>(path.size())) != 0) {
    error_ = LibraryError("Error loading script-specific configuration");
    return false;
  }
  return true;
}

int32_t ExternalConfig::GetInt(uint32_t key) {
  int32_t value = 0;
  if (table_ != nullptr && table_->get_integer != nullptr && IsIntConfigKey(key) &&
      table_->get_integer(Handle(this), context_, key, &value) == 0) {
    return value;
  }
  return settings_->GetInt(key);
}

std::string ExternalConfig::GetText(uint32_t key) {
  const char* bytes = nullptr;
  int32_t length = 0, capacity = 0;
  if (table_ != nullptr && table_->get_text != nullptr && IsTextConfigKey(key) &&
      table_->get_text(Handle(this), context_, key, &bytes, &length, &capacity) == 0) {
    return std::string(MeasuredText(bytes, length));
  }
  return std::string(settings_->GetText(key));
}

void ExternalConfig::QueueGlobal(std::string_view name, std::string_view value) {
  globals_.emplace_back(name, value);
}

void ExternalConfig::QueueSystem(std::string_view name, std::string_view value) {
  system_.emplace_back(name, value);
}

void ExternalConfig::ApplyVariables(VariableHash* system, VariableHash* globals) {
  for (const auto& [name, value] : system_) {
    auto* v = new ImmutableVariable(name);
    v->SetValue(value.data(), static_cast<int64_t>(value.size()));
    v->Lock();
    system->AdoptVariable(v);
  }
  for (const auto& [name, value] : globals_) {
    globals->AdoptVariable(new Variable(name, value));
  }
}

}  // namespace orin
