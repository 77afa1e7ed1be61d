#include "app/library_setup.h"

#include <mutex>
#include <set>

#include "platform/system_log.h"
#include "util/config.h"
#include "vm/external_call.h"

namespace orin {

std::string RunLibraryRegistrar::InDirectory(uint32_t directory_key, std::string_view path) const {
  std::string_view directory = config_ != nullptr ? config_->GetText(directory_key) : "";
  if (path.empty() || path.front() == '/' || directory.empty()) return std::string(path);
  std::string joined(directory);
  if (joined.back() != '/') joined += '/';
  joined.append(path);
  return joined;
}

void RunLibraryRegistrar::RegisterBuiltinLibrary(std::string_view path) {
  libraries_->RegisterBuiltin(InDirectory(config_key::kDirBuiltin, path));
}

void RunLibraryRegistrar::RegisterCommerceLibrary(std::string_view name, std::string_view path) {
  libraries_->commerce().Register(name, InDirectory(config_key::kDirCommerce, path));
}

void RunLibraryRegistrar::RegisterDatabaseLibrary(std::string_view name, std::string_view path) {
  libraries_->databases().Register(name, path);
}

void RunLibraryRegistrar::RegisterSystemLibrary(std::string_view name, std::string_view path) {
  libraries_->systems().Register(name, path);
}

std::vector<std::string> CheckConfiguredLibraries(const ConfigFiles& files) {
  RunLibraries libraries;
  OrinConfig config(nullptr, files);
  RunLibraryRegistrar registrar(&libraries, &config);
  config.set_registrar(&registrar);
  config.Load();
  std::vector<std::string> errors;
  ExternalCallManager calls;
  libraries.AddBuiltinTables(&calls, DefaultBuiltinLibraries(), &errors);
  // The other kinds open lazily in a run; here every one is tried now.
  CommerceLibraryManager& commerce = libraries.commerce();
  for (uint32_t i = 0; i < commerce.Count(); ++i) {
    std::string name(commerce.NameAt(i));
    if (commerce.Get(name) == nullptr) errors.push_back(name + ": " + commerce.ErrorText());
  }
  ExternalDatabaseLibraryManager& databases = libraries.databases();
  for (uint32_t i = 0; i < databases.Count(); ++i) {
    std::string name(databases.NameAt(i));
    if (databases.Get(name) == nullptr) errors.push_back(name + ": " + databases.ErrorText());
  }
  SystemLibraryManager& systems = libraries.systems();
  for (uint32_t i = 0; i < systems.Count(); ++i) {
    std::string name(systems.NameAt(i));
    if (systems.Get(name) == nullptr) errors.push_back(name + ": " + systems.ErrorText());
  }
  return errors;
}

void ReportLibraryErrors(const std::vector<std::string>& errors) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> lock(mutex);
  for (const std::string& e : errors) {
    if (!reported.insert(e).second) continue;
    WriteSystemLog("orin", SyslogFacility("user"), SyslogPriority("err"), "Library " + e);
  }
}

}  // namespace orin
