// LibraryRegistry: the names registered for one kind of plug-in library
// (commerce methods, database types, system libraries), as scripts see
// them through "zeto_config".
//
// The library managers implement it over their registries; until plug-in
// libraries are configured every kind answers with EmptyLibraryRegistry.
#ifndef ORIN_VM_LIBRARY_REGISTRY_H_
#define ORIN_VM_LIBRARY_REGISTRY_H_

#include <cstdint>
#include <string_view>

namespace orin {

enum class LibraryRegistryKind : int32_t { kCommerce = 0, kDatabase = 1, kSystem = 2 };

class LibraryRegistry {
 public:
  virtual ~LibraryRegistry() = default;
  // Registered names in the registry's table order.
  virtual uint32_t Count() const = 0;
  virtual std::string_view NameAt(uint32_t index) const = 0;
  // Whether `name` is registered, letter case ignored.
  virtual bool IsRegistered(std::string_view name) const = 0;
};

class EmptyLibraryRegistry : public LibraryRegistry {
 public:
  uint32_t Count() const override { return 0; }
  std::string_view NameAt(uint32_t) const override { return {}; }
  bool IsRegistered(std::string_view) const override { return false; }

  static const EmptyLibraryRegistry& Instance() {
    static const EmptyLibraryRegistry empty;
    return empty;
  }
};

}  // namespace orin

#endif  // ORIN_VM_LIBRARY_REGISTRY_H_
