#include "vm/frame.h"

#include "variables/variable_hash.h"
#include "vm/vm_stack.h"

namespace orin {

ZetoVM_Frame::~ZetoVM_Frame() {
  SetStack(nullptr, false);
  SetLocals(nullptr, false);
}

void ZetoVM_Frame::SetLocals(VariableHash* locals, bool owned) {
  if (owns_locals_ && locals_ != locals) delete locals_;
  locals_ = locals;
  owns_locals_ = owned;
}

void ZetoVM_Frame::SetStack(ZetoVM_Stack* stack, bool owned) {
  if (owns_stack_ && stack_ != stack) delete stack_;
  stack_ = stack;
  owns_stack_ = owned;
}

ZetoVM_Stack* ZetoVM_Frame::TakeStack() {
  ZetoVM_Stack* s = owns_stack_ ? stack_ : nullptr;
  stack_ = nullptr;
  owns_stack_ = false;
  return s;
}

VariableHash* ZetoVM_Frame::TakeLocals() {
  VariableHash* h = owns_locals_ ? locals_ : nullptr;
  locals_ = nullptr;
  owns_locals_ = false;
  return h;
}

}  // namespace orin
