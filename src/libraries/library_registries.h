// The registries of one run: which commerce methods, database types and
// system libraries the configuration names, and where their libraries are.
//
// A registration is only a name and a path; the library is opened (through
// the process-wide ExternalLibraryManager) when a script first needs it, so
// a broken library fails only the scripts that use it. Registering a name
// again replaces the earlier registration. Each registry belongs to one run
// and is used by its thread only.
#ifndef ORIN_LIBRARIES_LIBRARY_REGISTRIES_H_
#define ORIN_LIBRARIES_LIBRARY_REGISTRIES_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "libraries/external_library.h"
#include "orin/plugin.h"
#include "util/hash_table.h"
#include "vm/library_registry.h"

namespace orin {

class ExternalCallManager;

// Names in registration order with a case-insensitive index; T has `name`.
template <typename T>
class NamedRegistry : public LibraryRegistry {
 public:
  NamedRegistry() : index_(6, true, 16) {}
  uint32_t Count() const override { return static_cast<uint32_t>(order_.size()); }
  std::string_view NameAt(uint32_t i) const override {
    return i < order_.size() ? std::string_view(order_[i]->name) : std::string_view();
  }
  bool IsRegistered(std::string_view name) const override { return Find(name) != nullptr; }

 protected:
  T* Find(std::string_view name) const {
    T* const* entry = index_.Find(name);
    return entry == nullptr ? nullptr : *entry;
  }
  // A new entry, or the existing one of that name reset by the caller.
  T* Put(std::string_view name) {
    if (T* existing = Find(name)) return existing;
    order_.push_back(std::make_unique<T>());
    order_.back()->name.assign(name);
    index_.Set(name, order_.back().get());
    return order_.back().get();
  }

 private:
  std::vector<std::unique_ptr<T>> order_;
  HashTable<T*> index_;
};

struct CommerceLibrary {
  std::string name;
  std::string path;
  bool loaded = false;
  ztCommerceInit init = nullptr;
  ztCommerceLoop loop = nullptr;
  ztCommerceCleanup cleanup = nullptr;
  ztCommerceError error = nullptr;
};

class CommerceLibraryManager : public NamedRegistry<CommerceLibrary> {
 public:
  explicit CommerceLibraryManager(ExternalLibraryManager* libraries) : libraries_(libraries) {}
  void Register(std::string_view method, std::string_view path);
  // The bound method, loading its library on first use; null with ErrorText.
  CommerceLibrary* Get(std::string_view method);
  const std::string& ErrorText() const { return error_; }

 private:
  ExternalLibraryManager* libraries_;
  std::string error_;
};

struct ExternalDatabaseLibrary {
  std::string name;
  std::string path;
  const void* table = nullptr;  // the library's database descriptor table
};

class ExternalDatabaseLibraryManager : public NamedRegistry<ExternalDatabaseLibrary> {
 public:
  explicit ExternalDatabaseLibraryManager(ExternalLibraryManager* libraries)
      : libraries_(libraries) {}
  void Register(std::string_view type, std::string_view path);
  // The type's library with its descriptor table; null with ErrorText.
  ExternalDatabaseLibrary* Get(std::string_view type);
  const std::string& ErrorText() const { return error_; }

 private:
  ExternalLibraryManager* libraries_;
  std::string error_;
};

struct SystemLibrary {
  std::string name;
  std::string path;
  ExternalLibrary* library = nullptr;  // once opened
  std::string error;
};

class SystemLibraryManager : public NamedRegistry<SystemLibrary> {
 public:
  explicit SystemLibraryManager(ExternalLibraryManager* libraries) : libraries_(libraries) {}
  void Register(std::string_view name, std::string_view path);
  // The opened library; null with ErrorText.
  SystemLibrary* Get(std::string_view name);
  // The library's symbol, or null with the library's error text set.
  static void* GetFunction(SystemLibrary* library, std::string_view symbol);
  const std::string& ErrorText() const { return error_; }

 private:
  ExternalLibraryManager* libraries_;
  std::string error_;
};

// Opens a builtin function library and appends its function table to
// `calls`; false with *error.
bool AddBuiltinLibrary(ExternalLibraryManager* libraries, std::string_view path,
                       ExternalCallManager* calls, std::string* error);

// Everything one run registers: builtin library paths (added to the run's
// external call manager when the machine is built) and the three
// registries.
class RunLibraries {
 public:
  explicit RunLibraries(ExternalLibraryManager* libraries = &ProcessLibraryManager());

  void RegisterBuiltin(std::string_view path) { builtin_.emplace_back(path); }
  const std::vector<std::string>& builtin_paths() const { return builtin_; }
  // Adds the builtin libraries in registration order, then `defaults`
  // (the libraries shipped with the server). Failures are appended to
  // *errors, one text per library.
  void AddBuiltinTables(ExternalCallManager* calls, const std::vector<std::string>& defaults,
                        std::vector<std::string>* errors);

  CommerceLibraryManager& commerce() { return commerce_; }
  ExternalDatabaseLibraryManager& databases() { return databases_; }
  SystemLibraryManager& systems() { return systems_; }
  const LibraryRegistry& Registry(LibraryRegistryKind kind) const;
  ExternalLibraryManager* libraries() const { return libraries_; }

 private:
  ExternalLibraryManager* libraries_;
  std::vector<std::string> builtin_;
  CommerceLibraryManager commerce_;
  ExternalDatabaseLibraryManager databases_;
  SystemLibraryManager systems_;
};

// The libraries shipped with the server that every run registers (the
// standard function library), found beside the program: first in
// <program directory>/../lib/orin, then in the build tree the program was
// built in. Missing files are left out.
const std::vector<std::string>& DefaultBuiltinLibraries();

// The database library shipped with the server for `type` ("sqlite",
// "postgresql"), found the same way; empty when there is none.
std::string ShippedDatabaseLibrary(std::string_view type);

}  // namespace orin

#endif  // ORIN_LIBRARIES_LIBRARY_REGISTRIES_H_
