// How a run's configuration reaches the library registries: the
// `libraries` setting registers each entry with the run's RunLibraries
// (builtin ones are added when the machine is built), relative paths taken
// from the builtin and commerce library directories.
#ifndef ORIN_APP_LIBRARY_SETUP_H_
#define ORIN_APP_LIBRARY_SETUP_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/orin_config.h"
#include "libraries/library_registries.h"

namespace orin {

class Config;

class RunLibraryRegistrar : public LibraryRegistrar {
 public:
  // Neither is owned. `config` gives the library directories.
  RunLibraryRegistrar(RunLibraries* libraries, Config* config)
      : libraries_(libraries), config_(config) {}

  void RegisterBuiltinLibrary(std::string_view path) override;
  void RegisterCommerceLibrary(std::string_view name, std::string_view path) override;
  void RegisterDatabaseLibrary(std::string_view name, std::string_view path) override;
  void RegisterSystemLibrary(std::string_view name, std::string_view path) override;

 private:
  std::string InDirectory(uint32_t directory_key, std::string_view path) const;

  RunLibraries* libraries_;
  Config* config_;
};

// Opens every library the settings file names (builtin ones with their
// function tables): one text per library that fails, "<path>: <error>".
// Start-up calls this so that a broken entry is reported before the first
// request needs it.
std::vector<std::string> CheckConfiguredLibraries(const ConfigFiles& files);

// Writes each text to the system log once per process (a run that meets a
// broken library again does not repeat it).
void ReportLibraryErrors(const std::vector<std::string>& errors);

}  // namespace orin

#endif  // ORIN_APP_LIBRARY_SETUP_H_
