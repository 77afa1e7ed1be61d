// ForwardingVariableHash: a scope with a program's own layout whose names
// resolve in another table.
//
// A file run through ZtDO has its own system-variable layout (its slot
// numbers) but sees the calling run's system variables: each entry is
// looked up by name in the target table on every access. A name the target
// does not have falls back to an entry of this table. Entries and
// replacements go to the target, so the run has one set of system
// variables. The target must outlive this table.
#ifndef ORIN_VARIABLES_FORWARDING_VARIABLE_HASH_H_
#define ORIN_VARIABLES_FORWARDING_VARIABLE_HASH_H_

#include "variables/variable_hash.h"

namespace orin {

class ForwardingVariableHash : public SystemVariableHash {
 public:
  ForwardingVariableHash(Dictionary* dictionary, const VariableHashLayout* layout,
                         VariableHash* target);

  int32_t Insert(Variable* variable) override;
  bool ReplaceVariable(Variable* variable) override;
  bool Find(Variable** out, const char* name, int64_t length, bool create) override;
  Variable* Index(int32_t entry, bool create) override;
  void Variables(VariableList* list) override;

  VariableHash* target() const { return target_; }

 private:
  VariableHash* target_;
};

}  // namespace orin

#endif  // ORIN_VARIABLES_FORWARDING_VARIABLE_HASH_H_
