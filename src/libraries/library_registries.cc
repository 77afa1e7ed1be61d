#include "libraries/library_registries.h"

#include <cstddef>
#include <filesystem>
#include <system_error>

#include "platform/dynamic_library.h"
#include "util/ascii.h"
#include "vm/external_call.h"

#ifndef ORIN_PLUGIN_BUILD_DIR
#define ORIN_PLUGIN_BUILD_DIR ""
#endif

namespace orin {

// Tables from plug-ins are read as the machine's own entries.
static_assert(sizeof(ztFunctionEntry) == sizeof(ZetoFunctionEntry));
static_assert(offsetof(ztFunctionEntry, parameter_count) ==
              offsetof(ZetoFunctionEntry, parameter_count));
static_assert(offsetof(ztFunctionEntry, parameters) == offsetof(ZetoFunctionEntry, parameters));
static_assert(offsetof(ztFunctionEntry, entry) == offsetof(ZetoFunctionEntry, entry));
static_assert(sizeof(ztFunctionParameter) == sizeof(ZetoFunctionParameterRecord));

namespace {

using TableFunction = const void* (*)();

std::string Quoted(const char* before, std::string_view name, const char* after) {
  std::string text(before);
  text.append(name);
  text += after;
  return text;
}

// Binds the four commerce entry points: the descriptor table first, else
// the four named exports, all of which must resolve.
bool BindCommerce(const ExternalLibrary& library, CommerceLibrary* method) {
  if (void* symbol = library.Symbol("zeto_commerce_library", nullptr)) {
    auto table = static_cast<const ztCommerceTable*>(reinterpret_cast<TableFunction>(symbol)());
    if (table == nullptr) return false;
    method->init = table->init;
    method->loop = table->loop;
    method->cleanup = table->cleanup;
    method->error = table->error;
  } else {
    method->init = reinterpret_cast<ztCommerceInit>(library.Symbol("zeto_commerce_init", nullptr));
    method->loop = reinterpret_cast<ztCommerceLoop>(library.Symbol("zeto_commerce_loop", nullptr));
    method->cleanup =
        reinterpret_cast<ztCommerceCleanup>(library.Symbol("zeto_commerce_cleanup", nullptr));
    method->error =
        reinterpret_cast<ztCommerceError>(library.Symbol("zeto_commerce_error", nullptr));
  }
  return method->init != nullptr && method->loop != nullptr && method->cleanup != nullptr &&
         method->error != nullptr;
}

}  // namespace

void CommerceLibraryManager::Register(std::string_view method, std::string_view path) {
  CommerceLibrary* entry = Put(method);
  *entry = CommerceLibrary{entry->name, std::string(path)};
}

CommerceLibrary* CommerceLibraryManager::Get(std::string_view method) {
  CommerceLibrary* entry = Find(method);
  if (entry == nullptr) {
    error_ = Quoted("Commerce method '", method, "' is unsupported or not configured");
    return nullptr;
  }
  if (entry->loaded) return entry;
  ExternalLibrary* library = libraries_->Open(entry->path, kCommerceLibrary, &error_);
  if (library == nullptr) return nullptr;
  if (!BindCommerce(*library, entry)) {
    error_ = "Unable to load commerce library descriptor table/functions";
    return nullptr;
  }
  entry->loaded = true;
  return entry;
}

void ExternalDatabaseLibraryManager::Register(std::string_view type, std::string_view path) {
  ExternalDatabaseLibrary* entry = Put(type);
  *entry = ExternalDatabaseLibrary{entry->name, std::string(path)};
}

ExternalDatabaseLibrary* ExternalDatabaseLibraryManager::Get(std::string_view type) {
  ExternalDatabaseLibrary* entry = Find(type);
  if (entry == nullptr) {
    // The database libraries shipped with the server serve their types
    // unless the configuration registers another library for them.
    std::string shipped = ShippedDatabaseLibrary(type);
    if (!shipped.empty()) {
      Register(type, shipped);
      entry = Find(type);
    }
  }
  if (entry == nullptr) {
    error_ = Quoted("Database type '", type, "' is unsupported or not configured");
    return nullptr;
  }
  if (entry->table != nullptr) return entry;
  ExternalLibrary* library = libraries_->Open(entry->path, kDatabaseLibrary, &error_);
  if (library == nullptr) return nullptr;
  void* symbol = library->Symbol("zeto_database_library", &error_);
  if (symbol == nullptr) return nullptr;
  entry->table = reinterpret_cast<TableFunction>(symbol)();
  if (entry->table == nullptr) {
    error_ = "Unable to retrieve database descriptor table";
    return nullptr;
  }
  return entry;
}

void SystemLibraryManager::Register(std::string_view name, std::string_view path) {
  SystemLibrary* entry = Put(name);
  entry->path.assign(path);
  entry->library = nullptr;
  entry->error.clear();
}

SystemLibrary* SystemLibraryManager::Get(std::string_view name) {
  SystemLibrary* entry = Find(name);
  if (entry == nullptr) {
    error_ = Quoted("System library '", name, "' is not configured");
    return nullptr;
  }
  if (entry->library == nullptr) {
    entry->library = libraries_->Open(entry->path, kSystemLibrary, &error_);
    if (entry->library == nullptr) return nullptr;
  }
  return entry;
}

void* SystemLibraryManager::GetFunction(SystemLibrary* library, std::string_view symbol) {
  if (library == nullptr || library->library == nullptr) return nullptr;
  return library->library->Symbol(symbol, &library->error);
}

bool AddBuiltinLibrary(ExternalLibraryManager* libraries, std::string_view path,
                       ExternalCallManager* calls, std::string* error) {
  ExternalLibrary* library = libraries->Open(path, kBuiltinLibrary, error);
  if (library == nullptr) return false;
  void* symbol = library->Symbol("zeto_function_table", error);
  if (symbol == nullptr) return false;
  auto table = static_cast<const ztFunctionTable*>(reinterpret_cast<TableFunction>(symbol)());
  if (table == nullptr) {
    *error = "Unable to retrieve function descriptor table";
    return false;
  }
  // The public entry layout is the machine's own (checked in exports).
  calls->AddFunctionTable(library, reinterpret_cast<const ZetoFunctionEntry*>(table->entries));
  return true;
}

RunLibraries::RunLibraries(ExternalLibraryManager* libraries)
    : libraries_(libraries), commerce_(libraries), databases_(libraries), systems_(libraries) {}

void RunLibraries::AddBuiltinTables(ExternalCallManager* calls,
                                    const std::vector<std::string>& defaults,
                                    std::vector<std::string>* errors) {
  auto add = [&](const std::string& path) {
    std::string error;
    if (!AddBuiltinLibrary(libraries_, path, calls, &error) && errors != nullptr) {
      errors->push_back(path + ": " + error);
    }
  };
  for (const std::string& path : builtin_)
    add(path);
  for (const std::string& path : defaults)
    add(path);
}

const LibraryRegistry& RunLibraries::Registry(LibraryRegistryKind kind) const {
  switch (kind) {
    case LibraryRegistryKind::kCommerce:
      return commerce_;
    case LibraryRegistryKind::kDatabase:
      return databases_;
    case LibraryRegistryKind::kSystem:
      return systems_;
  }
  return EmptyLibraryRegistry::Instance();
}

namespace {

// The first of <program directory>/../lib/orin and the build tree's
// plug-in folder that holds `name`; empty when neither does.
std::string ShippedPlugin(const char* name) {
  std::error_code ec;
  std::string program = ExecutableDirectory();
  std::vector<std::filesystem::path> places;
  if (!program.empty()) places.push_back(std::filesystem::path(program) / "../lib/orin");
  if (ORIN_PLUGIN_BUILD_DIR[0] != '\0') places.emplace_back(ORIN_PLUGIN_BUILD_DIR);
  for (const auto& place : places) {
    std::filesystem::path candidate = place / name;
    if (std::filesystem::is_regular_file(candidate, ec)) {
      return std::filesystem::weakly_canonical(candidate, ec).string();
    }
  }
  return std::string();
}

}  // namespace

std::string ShippedDatabaseLibrary(std::string_view type) {
  if (type.size() == 6 && EqualsNoCase(type, "sqlite")) {
    static const std::string path = ShippedPlugin("liborin_sqlite.so");
    return path;
  }
  if (type.size() == 10 && EqualsNoCase(type, "postgresql")) {
    static const std::string path = ShippedPlugin("liborin_postgresql.so");
    return path;
  }
  return std::string();
}

const std::vector<std::string>& DefaultBuiltinLibraries() {
  static const std::vector<std::string> found = [] {
    std::string path = ShippedPlugin("liborin_std.so");
    return path.empty() ? std::vector<std::string>() : std::vector<std::string>{path};
  }();
  return found;
}

}  // namespace orin
