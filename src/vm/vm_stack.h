// ZetoVM_Stack: the operand stack of one frame, a fixed array of 512
// entries that never grows.
//
// Entries are Operands (variables/operand.h). The machine keeps one rule on
// top of the operand conventions: a variable entry always holds a reference
// of its own (the owned flag is set), and only integers and dictionary
// strings are unowned. So no entry can outlive what it points at, whatever
// the code does to scopes and aggregates between a push and the pop.
//
// The stack only stores; the checked primitives that report "Stack
// overflow" and "Stack underflow" are ZetoVM's (they need the error path).
#ifndef ORIN_VM_VM_STACK_H_
#define ORIN_VM_VM_STACK_H_

#include <cstdint>
#include <cstdio>

#include "util/check.h"
#include "variables/operand.h"

namespace orin {

class ZetoVM_Stack {
 public:
  static constexpr uint32_t kCapacity = 512;

  ZetoVM_Stack() = default;
  // Releases what the remaining entries own.
  ~ZetoVM_Stack() { Clear(); }
  ZetoVM_Stack(const ZetoVM_Stack&) = delete;
  ZetoVM_Stack& operator=(const ZetoVM_Stack&) = delete;

  uint32_t count() const { return count_; }
  bool empty() const { return count_ == 0; }
  bool full() const { return count_ == kCapacity; }
  // Entry `depth` places below the top (0 = top); depth < count().
  Operand& FromTop(uint32_t depth) {
    ORIN_ASSERT(depth < count_);
    return entries_[count_ - 1 - depth];
  }
  Operand& At(uint32_t index) {
    ORIN_ASSERT(index < count_);
    return entries_[index];
  }

  // Only integers and dictionary strings may be borrowed by an entry.
  static bool Storable(const Operand& op) {
    return IsOwned(op) || op.kind == OperandKind::kInteger || op.kind == OperandKind::kString;
  }

  // Unchecked; callers test full() and empty() first.
  void PushUnchecked(const Operand& op) {
    ORIN_ASSERT(count_ < kCapacity);
    ORIN_ASSERT(Storable(op));
    entries_[count_++] = op;
  }
  Operand PopUnchecked() {
    ORIN_ASSERT(count_ > 0);
    return entries_[--count_];
  }
  // The loop's pushes write the fields in place: building an Operand and
  // copying it costs a store-forwarding stall on every push.
  void PushIntegerUnchecked(int32_t value) {
    ORIN_ASSERT(count_ < kCapacity);
    SetInteger(&entries_[count_++], value);
  }
  // The entry takes over a reference the caller added.
  void PushVariableUnchecked(Variable* variable) {
    ORIN_ASSERT(count_ < kCapacity && variable != nullptr);
    Operand* e = &entries_[count_++];
    e->kind = OperandKind::kVariable;
    e->flags = kOperandOwned;
    e->value.variable = variable;
    e->length = 0;
    e->size = 0;
  }
  void PushConstantUnchecked(const char* bytes, uint32_t length) {
    ORIN_ASSERT(count_ < kCapacity);
    Operand* e = &entries_[count_++];
    e->kind = OperandKind::kString;
    e->flags = 0;
    e->value.string = const_cast<char*>(bytes);
    e->length = length;
    e->size = length;
  }
  Operand& Top() {
    ORIN_ASSERT(count_ > 0);
    return entries_[count_ - 1];
  }
  // For an entry whose ownership was taken over (or that owns nothing).
  void DropUnchecked() {
    ORIN_ASSERT(count_ > 0);
    --count_;
  }
  static void SetInteger(Operand* e, int32_t value) {
    e->kind = OperandKind::kInteger;
    e->flags = 0;
    e->value.integer = value;
    e->length = 4;
    e->size = 4;
  }

  // Releases every entry.
  void Clear();

  // The diagnostic listing: "SP = ..., SS = ...", a header line and one row
  // per entry from the bottom, then an empty line.
  void Dump(std::FILE* out);

 private:
  uint32_t count_ = 0;
  Operand entries_[kCapacity];  // only the first count_ are initialised
};

}  // namespace orin

#endif  // ORIN_VM_VM_STACK_H_
