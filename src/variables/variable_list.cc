#include "variables/variable_list.h"

#include "util/ascii.h"

namespace orin {

void VariableList::Insert(Variable* variable) {
  if (variable == nullptr) return;
  entries_.reserve(entries_.size() + 1);
  variable->AddRef();
  entries_.push_back(variable);
}

void VariableList::InsertAdopted(Variable* variable) {
  if (variable == nullptr) return;
  VarRef hold = VarRef::Adopt(variable);
  entries_.push_back(variable);
  hold.release();
}

Variable* VariableList::First() {
  cursor_ = 0;
  return Current();
}

Variable* VariableList::Next() {
  if (cursor_ < entries_.size()) ++cursor_;
  return Current();
}

Variable* VariableList::Find(std::string_view name) const {
  for (Variable* v : entries_) {
    if (EqualsNoCase(v->Name().view(), name)) return v;
  }
  return nullptr;
}

Variable* VariableList::SetVariable(std::string_view name, std::string_view value) {
  if (Variable* v = Find(name)) return v;
  Variable* v = new Variable(name, value);
  InsertAdopted(v);
  return v;
}

void VariableList::Dump() {
  std::vector<Variable*> old;
  old.swap(entries_);
  cursor_ = 0;
  for (Variable* v : old)
    v->Release();
}

}  // namespace orin
