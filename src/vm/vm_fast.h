// Inline fast paths shared by the loop and the call machinery: integer
// values and stores that avoid virtual calls for plain variables.
#ifndef ORIN_VM_VM_FAST_H_
#define ORIN_VM_VM_FAST_H_

#include <cstdint>

#include "util/check.h"
#include "variables/operand.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"
#include "vm/vm_stack.h"

namespace orin {

// The integer of an operand that is one without conversion: an integer,
// or a plain variable holding one (the common case of + - and compares).
inline bool FastInteger(const Operand& op, int32_t* out) {
  if (op.kind == OperandKind::kInteger) {
    *out = op.value.integer;
    return true;
  }
  return op.kind == OperandKind::kVariable && op.value.variable->PeekInteger(out);
}

// Stores an operand into a variable, consuming it; integers (given or held
// by a plain variable) go in without a virtual call.
inline void FastAssign(Variable* target, Operand value) {
  ORIN_ASSERT(target != nullptr);
  int32_t n;
  if (FastInteger(value, &n) && target->PokeInteger(n)) {
    if (value.kind == OperandKind::kVariable && IsOwned(value)) value.value.variable->Release();
    return;
  }
  AssignOperand(target, value);
}

// Pops the top entry (which exists) into a variable. The entry is read
// field by field, never copied whole: it was usually written a moment ago
// field by field, and a whole-entry load of such stores waits for them to
// reach the cache instead of taking them from the store buffer.
// True when it took the inline path (no call out of line).
inline bool AssignTop(Variable* target, ZetoVM_Stack* st) {
  ORIN_ASSERT(target != nullptr);
  Operand& top = st->Top();
  int32_t n;
  if (FastInteger(top, &n) && target->PokeInteger(n)) {
    if (top.kind == OperandKind::kVariable && IsOwned(top)) top.value.variable->Release();
    st->DropUnchecked();
    return true;
  }
  AssignOperand(target, st->PopUnchecked());
  return false;
}

// A slot's variable, created when missing; null outside the table.
inline Variable* FastSlot(VariableHash* table, int32_t slot) {
  Variable* v = table->PeekEntry(slot);
  return v != nullptr ? v : table->Index(slot, true);
}

}  // namespace orin

#endif  // ORIN_VM_VM_FAST_H_
