// External calls: script functions whose body lives in a builtin function
// library.
//
// A builtin library describes its functions in an entry array (returned,
// through the library's "zeto_function_table" descriptor, at offset 8):
//
//   Offset  Width  ZetoFunctionEntry
//   0       8      name (bytes, not terminated)
//   8       4      name length
//   12      4      parameter count
//   16      8      parameter records, 16 bytes each; the word at offset 12
//                  holds the flags the script's declaration must match
//   24      8      entry point (machine, parameter scope, result variable,
//                  address of the call's persistent data word)
//
// The array ends with an entry whose name is null. ExternalCallManager keeps
// the arrays in the order their libraries were added and resolves a name
// (letter case ignored) through a cache of resolved calls, then the arrays
// in order, first match wins. Loading libraries is the library layer's
// part: it opens one, finds its table and hands it to AddFunctionTable.
// With no table added every name stays unresolved.
#ifndef ORIN_VM_EXTERNAL_CALL_H_
#define ORIN_VM_EXTERNAL_CALL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/hash_table.h"
#include "variables/variable.h"

namespace orin {

class VariableHash;
class ZetoVM;

using ExternalEntryPoint = void (*)(ZetoVM* machine, VariableHash* parameters, Variable* result,
                                    void** data);

struct ZetoFunctionParameterRecord {
  uint8_t reserved[12];
  uint32_t flags;
};

struct ZetoFunctionEntry {
  const char* name;
  uint32_t name_length;
  uint32_t parameter_count;
  const ZetoFunctionParameterRecord* parameters;
  ExternalEntryPoint entry;
};
static_assert(sizeof(ZetoFunctionParameterRecord) == 16, "parameter records are 16 bytes");
static_assert(sizeof(void*) != 8 || sizeof(ZetoFunctionEntry) == 32, "entries are 32 bytes");

// One resolved library function.
class ExternalCall {
 public:
  // `entry` describes the function and must stay valid (its library stays
  // loaded) as long as this call exists.
  explicit ExternalCall(const ZetoFunctionEntry& entry);
  // A library that kept data in the persistent word is called once more
  // with (null, null, null, &word) to free it.
  ~ExternalCall();
  ExternalCall(const ExternalCall&) = delete;
  ExternalCall& operator=(const ExternalCall&) = delete;

  std::string_view name() const { return std::string_view(entry_.name, entry_.name_length); }
  uint32_t parameter_count() const { return entry_.parameter_count; }
  // The flags the library declares for parameter `i` (< parameter_count()).
  uint32_t parameter_flags(uint32_t i) const { return entry_.parameters[i].flags; }

  // Runs the function on `parameters`; returns the result variable with a
  // reference for the caller. The result variable is reused from call to
  // call unless something else still holds it.
  Variable* Invoke(ZetoVM* machine, VariableHash* parameters);

 private:
  ZetoFunctionEntry entry_;
  void* data_ = nullptr;
  VarRef result_;
};

class ExternalCallManager {
 public:
  ExternalCallManager();
  ~ExternalCallManager();
  ExternalCallManager(const ExternalCallManager&) = delete;
  ExternalCallManager& operator=(const ExternalCallManager&) = delete;

  // Adds a library's entry array (ended by a null name). `library`
  // identifies the library for the caller; it is not used here.
  void AddFunctionTable(const void* library, const ZetoFunctionEntry* entries);
  size_t TableCount() const { return tables_.size(); }
  // Adds every table of `other` (a task's copy; resolved calls are not
  // shared).
  void CopyTables(const ExternalCallManager& other) { tables_ = other.tables_; }

  // The call for `name`, resolved once and cached; null with ErrorText
  // "Unresolved call to external function '<name>'" when nothing answers.
  std::shared_ptr<ExternalCall> Resolve(std::string_view name);
  // The entry for `name` without caching, or null.
  const ZetoFunctionEntry* FindEntry(std::string_view name) const;

  const std::string& ErrorText() const { return error_; }

 private:
  static constexpr size_t kTableGrowth = 16;
  struct Table {
    const void* library;
    const ZetoFunctionEntry* entries;
  };
  std::vector<Table> tables_;
  HashTable<std::shared_ptr<ExternalCall>> cache_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_VM_EXTERNAL_CALL_H_
