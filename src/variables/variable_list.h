// VariableList: an ordered list of variables with a cursor, holding one
// reference per entry. It carries variable sets between parts of the system
// and to plug-in libraries (function arguments, the elements of an
// aggregate, the variables of a scope).
#ifndef ORIN_VARIABLES_VARIABLE_LIST_H_
#define ORIN_VARIABLES_VARIABLE_LIST_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "variables/variable.h"

namespace orin {

class VariableList {
 public:
  VariableList() = default;
  ~VariableList() { Dump(); }
  VariableList(const VariableList&) = delete;
  VariableList& operator=(const VariableList&) = delete;

  // Appends `variable`; the list adds a reference of its own.
  void Insert(Variable* variable);
  // Appends a variable whose reference the caller hands over.
  void InsertAdopted(Variable* variable);
  uint32_t Entries() const { return static_cast<uint32_t>(entries_.size()); }
  Variable* At(uint32_t index) const { return index < entries_.size() ? entries_[index] : nullptr; }

  // Cursor walk: First moves to the first entry, Next to the following one;
  // each answers the entry there, or null past the end.
  Variable* First();
  Variable* Next();
  Variable* Current() const { return At(cursor_); }

  // The first variable whose name matches case-insensitively, or null.
  Variable* Find(std::string_view name) const;
  // The variable of that name unchanged, else a new text variable appended.
  Variable* SetVariable(std::string_view name, std::string_view value);
  // Releases every entry.
  void Dump();

 private:
  std::vector<Variable*> entries_;
  uint32_t cursor_ = 0;
};

}  // namespace orin

#endif  // ORIN_VARIABLES_VARIABLE_LIST_H_
