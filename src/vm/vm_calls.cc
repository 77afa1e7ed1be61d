// Calls, returns, external calls, and code run from outside the
// instruction stream (compiled expressions, callbacks into script
// functions).
#include <memory>

#include "image/function.h"
#include "image/segment.h"
#include "output/output.h"
#include "variables/variable_hash.h"
#include "variables/variable_list.h"
#include "vm/external_call.h"
#include "vm/vm_fast.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// What the machine attaches to a function (the binding slot is the
// machine's): for a script function, locals tables kept between calls (a
// new table costs an entry array and a named variable per local, a
// recycled one nothing); for an external function, the resolved call and
// its parameter scope (the locals template made live once and cleared
// after every call).
class MachineBinding : public FunctionBinding {
 public:
  static constexpr size_t kMaxSpareLocals = 4;
  std::vector<std::unique_ptr<VariableHash>> spare_locals;
  std::shared_ptr<ExternalCall> call;
  std::unique_ptr<VariableHash> scope;
};

MachineBinding* BindingOf(Function* function) {
  if (function->binding() == nullptr) function->SetBinding(std::make_unique<MachineBinding>());
  return static_cast<MachineBinding*>(function->binding());
}

// Spare stacks and frames kept for later calls; deeper recursion frees
// what it used beyond these.
constexpr size_t kMaxSpareStacks = 32;
constexpr size_t kMaxSpareFrames = 32;

LogField TextField(std::string_view text) {
  return {LogField::kText, text.data(), static_cast<int32_t>(text.size())};
}

LogField VariableField(Variable* v) {
  return {LogField::kVariable, v, 0};
}

}  // namespace

ZetoVM_Stack* ZetoVM::NewStack() {
  if (spare_stacks_.empty()) return new ZetoVM_Stack;
  ZetoVM_Stack* s = spare_stacks_.back();
  spare_stacks_.pop_back();
  return s;
}

void ZetoVM::RecycleStack(ZetoVM_Stack* stack) {
  if (stack == nullptr) return;
  stack->Clear();
  if (spare_stacks_.size() < kMaxSpareStacks) {
    spare_stacks_.push_back(stack);
  } else {
    delete stack;
  }
}

void ZetoVM::DestroyFrame(ZetoVM_Frame* frame) {
  if (features_.size() != 0) features_.EndFrame(frame);
  if (frame->FrameKind() != 1) {
    // The stack first: its entries may hold the locals' variables.
    RecycleStack(frame->TakeStack());
    delete frame;
    return;
  }
  --call_depth_;
  auto* call = static_cast<ZetoVM_FunctionFrame*>(frame);
  // A function frame keeps its stack for the next call; emptied first, as
  // its entries may hold the locals' variables.
  call->stack()->Clear();
  std::unique_ptr<VariableHash> locals(call->TakeLocals());
  MachineBinding* binding = BindingOf(call->function());
  if (locals && binding->spare_locals.size() < MachineBinding::kMaxSpareLocals &&
      locals->Recycle()) {
    binding->spare_locals.push_back(std::move(locals));
  }
  if (spare_frames_.size() < kMaxSpareFrames) {
    spare_frames_.push_back(call);
  } else {
    delete call;
  }
}

ZetoVM_FunctionFrame* ZetoVM::NewFunctionFrame(Function* function) {
  if (spare_frames_.empty()) {
    auto* frame = new ZetoVM_FunctionFrame(segment_, static_cast<int32_t>(pc_), function);
    frame->SetStack(new ZetoVM_Stack, true);
    return frame;
  }
  ZetoVM_FunctionFrame* frame = spare_frames_.back();
  spare_frames_.pop_back();
  frame->Reuse(segment_, static_cast<int32_t>(pc_), function);
  return frame;
}

void ZetoVM::Call(int32_t number) {
  Function* function = program_.functions != nullptr ? program_.functions->Get(number) : nullptr;
  if (function == nullptr) {
    FatalError("Invalid function call");
    return;
  }
  if (function->external()) {
    CallExternal(function);
    return;
  }
  Segment* current = program_.segments->Get(segment_);
  if (current != nullptr && current->restricted() && function->is_private()) {
    FatalError("Function is private");
    return;
  }
  CallFunction(function);
}

void ZetoVM::CallFunction(Function* function) {
  if (call_depth_ >= kMaxCallDepth) {
    FatalError("Stack overflow");
    return;
  }
  ZetoVM_FunctionFrame* frame = NewFunctionFrame(function);
  MachineBinding* binding = BindingOf(function);
  if (!binding->spare_locals.empty()) {
    frame->SetLocals(binding->spare_locals.back().release(), true);
    binding->spare_locals.pop_back();
  } else {
    frame->SetLocals(new UserVariableHash(program_.dictionary, &function->locals()), true);
  }

  uint32_t flags = function->flags();
  uint32_t errors = frame_->error_flags();
  if (flags & Function::kShowErrors) errors |= kFrameShowErrors;
  if (flags & Function::kHideErrors) errors &= ~kFrameShowErrors;
  frame->set_error_flags(errors);
  uint32_t mode = 0;
  if (flags & Function::kCompressOutput) {
    if (frame_->output_mode() & (kOutputCollapse | kOutputCompress)) mode = kOutputCompress;
  } else if (flags & Function::kCollapseOutput) {
    mode = kOutputCollapse;
  }
  frame->set_output_mode(mode);
  if (Output* out = CurrentOutput()) out->SetMode(mode);
  frame->set_caller(frame_);
  if (Tracing(kLogFunctionCall)) WriteTrace(kLogFunctionCall, {TextField(function->name())});

  ++call_depth_;
  if (!BindParameters(function, frame->locals(), kLogFunctionParameter)) {
    DestroyFrame(frame);
    return;
  }
  frame_ = frame;
  stack_ = frame_->stack();
  segment_ = static_cast<int32_t>(function->segment());
  pc_ = function->offset();
}

// Parameters take the caller's entries from the last one to the first.
bool ZetoVM::BindParameters(Function* function, VariableHash* locals, uint32_t trace_event) {
  const std::vector<FunctionParameter>& parameters = function->parameters();
  for (size_t i = parameters.size(); i-- > 0;) {
    const FunctionParameter& p = parameters[i];
    int32_t slot = static_cast<int32_t>(p.local_index);
    if (p.by_reference()) {
      VarRef target = PopVariable();
      if (!target) return false;
      if (!locals->MakeReference(slot, target.get())) {
        FatalError("Invalid parameter reference");
        return false;
      }
    } else {
      Variable* local = FastSlot(locals, slot);
      if (local == nullptr) {
        FatalError("Invalid parameter reference");
        return false;
      }
      if (stack_->empty()) {
        StackUnderflow();
        return false;
      }
      AssignTop(local, stack_);
    }
    if (Tracing(trace_event)) {
      WriteTrace(trace_event, {TextField(function->name()), TextField(p.name),
                               VariableField(locals->Index(slot, false))});
    }
  }
  return true;
}

void ZetoVM::CallExternal(Function* function) {
  MachineBinding* binding = BindingOf(function);
  if (!binding->call) {
    if (program_.external_calls != nullptr) {
      binding->call = program_.external_calls->Resolve(function->name());
    }
    if (!binding->call) {
      std::string message = "Unresolved call to external function '";
      message.append(function->name());
      message += "'";
      FatalError(message);
      return;
    }
    binding->scope = std::make_unique<UserVariableHash>(program_.dictionary, &function->locals());
  }
  ExternalCall* call = binding->call.get();
  const std::vector<FunctionParameter>& parameters = function->parameters();
  if (call->parameter_count() != parameters.size()) {
    FatalError("Number of parameters mismatch in call to external function");
    return;
  }
  for (uint32_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].flags != call->parameter_flags(i)) {
      FatalError("Parameter type mismatch in call to external function");
      return;
    }
  }
  if (Tracing(kLogExternalCall)) WriteTrace(kLogExternalCall, {TextField(function->name())});
  VariableHash* scope = binding->scope.get();
  if (BindParameters(function, scope, kLogExternalParameter)) {
    Variable* result = call->Invoke(this, scope);
    if (Tracing(kLogExternalReturnValue)) {
      WriteTrace(kLogExternalReturnValue, {TextField(function->name()), VariableField(result)});
    }
    if (Tracing(kLogExternalReturn)) WriteTrace(kLogExternalReturn, {TextField(function->name())});
    Push(VariableOperand(result, true));
  }
  scope->Dump();
}

bool ZetoVM::Return(bool with_value) {
  ZetoVM_Frame* frame = frame_;
  switch (frame->FrameKind()) {
    case 2:
      exit_->store(1, std::memory_order_relaxed);
      return false;
    case 1:
      if (frame->caller() != nullptr) break;
      FatalError("Frame underflow");
      return false;
    default:
      FatalError("Return outside of function");
      return false;
  }
  if (features_.size() != 0) features_.EndFrame(frame);
  // The returned entry: an integer travels as its value (see AssignTop for
  // why the entry is not copied whole).
  Operand value = IntegerOperand(0);
  bool integer = false;
  int32_t n = 0;
  if (with_value) {
    if (stack_->empty()) {
      StackUnderflow();
      return false;
    }
    Operand& top = stack_->Top();
    if (top.kind == OperandKind::kInteger) {
      integer = true;
      n = top.value.integer;
      stack_->DropUnchecked();
    } else {
      value = stack_->PopUnchecked();
    }
  } else {
    value = StringOperand("", 0, 0, false);
  }
  auto* function = static_cast<ZetoVM_FunctionFrame*>(frame)->function();
  if (Tracing(kLogFunctionReturnValue) && with_value) {
    if (integer) value = IntegerOperand(n);
    integer = false;
    OperandText text(value);
    WriteTrace(kLogFunctionReturnValue, {TextField(function->name()), TextField(text.view())});
  }
  if (Tracing(kLogFunctionReturn)) WriteTrace(kLogFunctionReturn, {TextField(function->name())});
  ZetoVM_Frame* caller = frame->caller();
  segment_ = frame->return_segment();
  pc_ = static_cast<uint32_t>(frame->return_offset());
  DestroyFrame(frame);
  frame_ = caller;
  stack_ = caller->stack();
  if (Output* out = CurrentOutput()) out->SetMode(caller->output_mode());
  if (stack_->full()) {
    if (!integer) ReleaseOperand(&value);
    StackOverflow();
  } else if (integer) {
    stack_->PushIntegerUnchecked(n);
  } else {
    stack_->PushUnchecked(value);
  }
  return frame_ == stop_frame_;
}

// --- Code run from outside the instruction stream ---

ZetoVM::SavedPosition ZetoVM::EnterPlainFrame(VariableHash* locals, ZetoVM_Stack* stack,
                                              bool own_stack) {
  SavedPosition saved{segment_, pc_, instruction_start_, frame_, stack_, stop_frame_};
  auto* plain = new ZetoVM_Frame(segment_, static_cast<int32_t>(pc_));
  plain->SetLocals(locals != nullptr ? locals : frame_->locals(), false);
  plain->SetStack(stack != nullptr ? stack : stack_, own_stack);
  plain->set_output_mode(frame_->output_mode());
  plain->set_caller(frame_);
  frame_ = plain;
  stack_ = plain->stack();
  return saved;
}

void ZetoVM::LeavePlainFrame(const SavedPosition& saved, ZetoVM_Frame* plain) {
  // Frames an abort or an early end left above the plain frame go first.
  while (frame_ != plain) {
    ZetoVM_Frame* caller = frame_->caller();
    DestroyFrame(frame_);
    frame_ = caller;
  }
  DestroyFrame(plain);
  segment_ = saved.segment;
  pc_ = saved.pc;
  instruction_start_ = saved.instruction_start;
  frame_ = saved.frame;
  stack_ = saved.stack;
  stop_frame_ = saved.stop_frame;
}

bool ZetoVM::ExecuteSegment(Segment* segment, VariableHash* locals, ZetoVM_Stack* stack) {
  if (segment == nullptr || aborted_) return false;
  SavedPosition saved = EnterPlainFrame(locals, stack, false);
  ZetoVM_Frame* plain = frame_;
  stop_frame_ = nullptr;
  segment_ = segment->number();
  pc_ = 0;
  int result = Run();
  LeavePlainFrame(saved, plain);
  return result == 1 && !aborted_;
}

// Runs the segment on the current stack and takes the value it left; the
// stack is back to its height before in every case.
bool ZetoVM::EvaluateSegment(Segment* segment, VariableHash* locals, Operand* out) {
  uint32_t before = stack_->count();
  bool ran = ExecuteSegment(segment, locals);
  bool valued = ran && stack_->count() > before;
  if (valued) *out = stack_->PopUnchecked();
  while (stack_->count() > before) {
    Operand extra = stack_->PopUnchecked();
    ReleaseOperand(&extra);
  }
  return valued;
}

bool ZetoVM::ExecuteSegmentInteger(Segment* segment, VariableHash* locals, int32_t* out) {
  Operand value;
  if (!EvaluateSegment(segment, locals, &value)) return false;
  *out = OperandInteger(value);
  ReleaseOperand(&value);
  return true;
}

bool ZetoVM::ExecuteSegmentString(Segment* segment, VariableHash* locals, std::string* out) {
  Operand value;
  if (!EvaluateSegment(segment, locals, &value)) return false;
  {
    OperandText text(value);
    out->assign(text.data(), text.size());
  }
  ReleaseOperand(&value);
  return true;
}

bool ZetoVM::ExecuteSegmentInto(Segment* segment, VariableHash* locals, Variable* result) {
  Operand value;
  if (!EvaluateSegment(segment, locals, &value)) return false;
  AssignOperand(result, value);
  return true;
}

VarRef ZetoVM::ExecuteSegmentVariable(Segment* segment, VariableHash* locals) {
  Operand value;
  if (!EvaluateSegment(segment, locals, &value)) return VarRef();
  if (value.kind == OperandKind::kVariable) return VarRef::Adopt(value.value.variable);
  VarRef holder = NewVariable();
  AssignOperand(holder.get(), value);
  return holder;
}

bool ZetoVM::RunFunction(Function* function, VariableList* arguments, Variable* result) {
  uint32_t count = arguments != nullptr ? arguments->Entries() : 0;
  if (function == nullptr || aborted_ || count != function->parameters().size() ||
      count > ZetoVM_Stack::kCapacity) {
    return false;
  }
  SavedPosition saved = EnterPlainFrame(nullptr, NewStack(), true);
  ZetoVM_Frame* plain = frame_;
  for (uint32_t i = 0; i < count; ++i)
    PushVariable(arguments->At(i));
  bool ok;
  if (function->external()) {
    CallExternal(function);
    ok = !aborted_;
  } else {
    stop_frame_ = plain;
    CallFunction(function);
    // Run only when the call entered the function; it returns to `plain`.
    ok = frame_ != plain && Run() == 1 && frame_ == plain && !aborted_;
  }
  Operand value;
  if (ok && !stack_->empty()) {
    value = stack_->PopUnchecked();
    if (result != nullptr) {
      AssignOperand(result, value);
    } else {
      ReleaseOperand(&value);
    }
  } else {
    ok = false;
  }
  LeavePlainFrame(saved, plain);
  return ok;
}

bool ZetoVM::RunFunction(std::string_view name, VariableList* arguments, Variable* result) {
  Function* f = program_.functions != nullptr ? program_.functions->FindFunction(name) : nullptr;
  return RunFunction(f, arguments, result);
}

bool ZetoVM::RunFunction(int64_t number, VariableList* arguments, Variable* result) {
  Function* f = program_.functions != nullptr ? program_.functions->Get(number) : nullptr;
  return RunFunction(f, arguments, result);
}

}  // namespace orin
