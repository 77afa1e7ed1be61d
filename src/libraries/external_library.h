// ExternalLibrary and ExternalLibraryManager: plug-in libraries opened by
// path, registered with the host and cached for the life of the process.
//
// The manager is process-wide (ProcessLibraryManager): every run opens its
// libraries through it, so a path is loaded once however many requests use
// it. Paths are cache keys with letter case ignored, as configured paths
// were always compared. Opening is serialised by the manager's lock; a
// library's symbols may then be looked up from any thread.
//
// After loading, the library's registration symbol ("zeto_register_library",
// else "ZetoRegisterLibrary") is called with the host module handle, through
// which the library may bind the exported interface by name.
#ifndef ORIN_LIBRARIES_EXTERNAL_LIBRARY_H_
#define ORIN_LIBRARIES_EXTERNAL_LIBRARY_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "util/hash_table.h"

namespace orin {

// Library type codes, as passed to Open.
enum LibraryType : int32_t {
  kBuiltinLibrary = 0,
  kCommerceLibrary = 1,
  kConfigurationLibrary = 2,
  kDatabaseLibrary = 3,
  kSystemLibrary = 4,
};

class ExternalLibrary {
 public:
  ExternalLibrary(std::string_view path, int32_t type);
  // Unloads the library.
  virtual ~ExternalLibrary();
  ExternalLibrary(const ExternalLibrary&) = delete;
  ExternalLibrary& operator=(const ExternalLibrary&) = delete;

  // Loads the file and calls its registration symbol; false with ErrorText.
  virtual bool Load(const std::string& path);
  // The entry point `name`, or null with *error "Unknown symbol '<name>': "
  // and the loader's message. Safe from any thread.
  virtual void* Symbol(std::string_view name, std::string* error) const;
  virtual std::string SystemErrorText() const { return error_; }

  const std::string& path() const { return path_; }
  int32_t type() const { return type_; }
  const std::string& ErrorText() const { return error_; }

 private:
  std::string path_;
  int32_t type_;
  void* handle_ = nullptr;
  std::string error_;
};

class ExternalLibraryManager {
 public:
  ExternalLibraryManager();
  virtual ~ExternalLibraryManager();
  ExternalLibraryManager(const ExternalLibraryManager&) = delete;
  ExternalLibraryManager& operator=(const ExternalLibraryManager&) = delete;

  // The cached library for `path`, else a new one loaded and cached; null
  // with *error (and ErrorText) when it cannot be loaded. Failures are not
  // cached: the next Open tries again.
  ExternalLibrary* Open(std::string_view path, int32_t type, std::string* error = nullptr);
  // The text of the last failed Open (of any thread).
  std::string ErrorText() const;
  size_t size() const;

 protected:
  // The platform hook: a new, not yet loaded library.
  virtual std::unique_ptr<ExternalLibrary> CreateLibrary(std::string_view path, int32_t type);

 private:
  mutable std::mutex mutex_;
  HashTable<std::unique_ptr<ExternalLibrary>> libraries_;
  std::string error_;
};

// The process-wide manager, made on first use; its libraries stay loaded
// until the process ends.
ExternalLibraryManager& ProcessLibraryManager();

}  // namespace orin

#endif  // ORIN_LIBRARIES_EXTERNAL_LIBRARY_H_
