#include "variables/forwarding_variable_hash.h"

#include "variables/variable.h"

namespace orin {

ForwardingVariableHash::ForwardingVariableHash(Dictionary* dictionary,
                                               const VariableHashLayout* layout,
                                               VariableHash* target)
    : SystemVariableHash(dictionary, layout), target_(target) {}

int32_t ForwardingVariableHash::Insert(Variable* variable) {
  return target_->Insert(variable);
}

bool ForwardingVariableHash::ReplaceVariable(Variable* variable) {
  return target_->ReplaceVariable(variable);
}

bool ForwardingVariableHash::Find(Variable** out, const char* name, int64_t length, bool create) {
  if (target_->Find(out, name, length, create) && *out != nullptr) return true;
  return SystemVariableHash::Find(out, name, length, create);
}

Variable* ForwardingVariableHash::Index(int32_t entry, bool create) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= entries_.size()) return nullptr;
  std::string_view name = EntryName(static_cast<uint32_t>(entry));
  Variable* v = nullptr;
  if (target_->Find(&v, name.data(), static_cast<int64_t>(name.size()), false) && v != nullptr) {
    return v;
  }
  return SystemVariableHash::Index(entry, create);
}

void ForwardingVariableHash::Variables(VariableList* list) {
  target_->Variables(list);
}

}  // namespace orin
