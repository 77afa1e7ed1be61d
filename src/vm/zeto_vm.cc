// ZetoVM: construction, the stack primitives, names and the end of a run.
#include "vm/zeto_vm.h"

#include <cstdlib>
#include <cstring>

#include "image/dictionary.h"
#include "image/function.h"
#include "image/segment.h"
#include "util/config.h"
#include "util/crypt.h"
#include "variables/immutable_variable.h"
#include "variables/variable_hash.h"
#include "vm/do_context.h"
#include "vm/run_databases.h"
#include "vm/vm_callback.h"

namespace orin {

namespace {

// The trace flags of a run: the configured log level, none for a program
// exempt from tracing.
uint32_t TraceFlags(ZetoApplication* application, const Dictionary* dictionary) {
  if (dictionary != nullptr && (dictionary->Flags() & 1) != 0) return 0;
  Config* config = application->GetConfig();
  int32_t level = config != nullptr ? config->GetInt(config_key::kLogLevel) : 0;
  return level > 0 ? static_cast<uint32_t>(level) : 0;
}

std::string DirectoryOf(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

}  // namespace

ZetoVM::ZetoVM(std::string_view script_path, ZetoApplication* application,
               const ZetoProgram& program, ZetoVM* parent, const ZetoVM_Flags* flags)
    : script_path_(script_path),
      script_directory_(DirectoryOf(script_path)),
      application_(application),
      parent_(parent),
      program_(program),
      error_settings_(CopyDefaultErrorSettings()),
      null_(VarRef::Adopt(new NULLVariable())) {
  if (flags != nullptr) {
    timed_out_ = flags->timed_out;
    exit_ = flags->exit;
    signals_ = flags->signals;
  } else if (parent != nullptr) {
    timed_out_ = parent->timed_out_;
    exit_ = parent->exit_;
    signals_ = parent->signals_;
  } else {
    timed_out_ = &application->timed_out_flag();
    exit_ = &application->exit_flag();
    signals_ = &application->signal_counter();
  }
  signal_copy_ = signals_->load(std::memory_order_relaxed);
  trace_flags_ = TraceFlags(application, program.dictionary);

  top_frame_ = std::make_unique<ZetoVM_Frame>(-1, -1);
  top_frame_->SetLocals(program.globals, false);
  top_frame_->SetStack(new ZetoVM_Stack, true);
  frame_ = top_frame_.get();
  stack_ = frame_->stack();

  if (program.segments != nullptr) {
    program.segments->StartSegment();
    segment_ = program.segments->start();
  }
}

ZetoVM::~ZetoVM() {
  // ZtDO files first: their machines refer to this one.
  do_contexts_.reset();
  // Features next: their destructors give back locks and outputs.
  features_.Truncate(0);
  // Databases before the frames and the program their variables name.
  if (databases_) databases_->CloseAll();
  databases_.reset();
  while (frame_ != top_frame_.get() && frame_ != nullptr) {
    ZetoVM_Frame* caller = frame_->caller();
    DestroyFrame(frame_);
    frame_ = caller;
  }
  top_frame_.reset();
  for (ZetoVM_Stack* s : spare_stacks_)
    delete s;
  callbacks_.reset();
  for (ZetoVM_FunctionFrame* f : spare_frames_)
    delete f;
}

void ZetoVM::Release() {
  if (parent_ != nullptr) return;
  features_.Truncate(0);
  if (databases_) databases_->CloseAll();
}

RunDatabases* ZetoVM::Databases(bool create) {
  ZetoVM* root = parent_ != nullptr ? parent_ : this;
  if (!root->databases_ && create) {
    if (RunDatabasesFactory factory = GetRunDatabasesFactory()) root->databases_ = factory(*root);
  }
  return root->databases_.get();
}

DoContextCache& ZetoVM::DoContexts() {
  ZetoVM* root = parent_ != nullptr ? parent_ : this;
  if (!root->do_contexts_) root->do_contexts_ = std::make_unique<DoContextCache>(root);
  return *root->do_contexts_;
}

ZetoVMCallbacks& ZetoVM::Callbacks() {
  if (!callbacks_) callbacks_ = std::make_unique<ZetoVMCallbacks>();
  return *callbacks_;
}

void ZetoVM::AbortWith(std::string_view error_text) {
  if (aborted_) return;
  aborted_ = true;
  error_text_.assign(error_text);
}

VariableHash* ZetoVM::SystemTable() {
  return program_.system;
}

Variable* ZetoVM::DatabaseField(std::string_view alias, std::string_view field) {
  RunDatabases* databases = Databases(false);
  return databases != nullptr ? databases->FindField(alias, field) : nullptr;
}

VariableHash* ZetoVM::PrivateVariables() {
  if (!private_variables_) {
    private_variables_ = std::make_unique<UserVariableHash>(program_.dictionary, 12, 512);
  }
  return private_variables_.get();
}

std::string_view ZetoVM::SourceFileName() const {
  if (source_file_ < 0 || program_.dictionary == nullptr) return {};
  return program_.dictionary->View(source_file_);
}

void ZetoVM::Jump(int64_t target) {
  Segment* s = program_.segments != nullptr ? program_.segments->Get(segment_) : nullptr;
  int64_t end = s != nullptr ? s->length() : 0;
  pc_ = static_cast<uint32_t>(target < 0 || target > end ? end : target);
}

// --- Stack primitives ---

bool ZetoVM::Push(Operand op) {
  if (stack_->full()) {
    ReleaseOperand(&op);
    StackOverflow();
    return false;
  }
  stack_->PushUnchecked(op);
  return true;
}

bool ZetoVM::PushString(const char* bytes, uint32_t length, uint32_t capacity, bool owned) {
  return Push(StringOperand(bytes, length, capacity, owned));
}

bool ZetoVM::PushText(std::string_view text) {
  auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = 0;
  uint32_t n = static_cast<uint32_t>(text.size());
  return Push(StringOperand(copy, n, n + 1, true));
}

bool ZetoVM::PushNumber(mpd_t* number, bool owned) {
  return Push(NumberOperand(number, owned));
}

bool ZetoVM::PushVariable(Variable* variable) {
  if (variable == nullptr) variable = null_.get();
  if (stack_->full()) {
    StackOverflow();
    return false;
  }
  variable->AddRef();
  stack_->PushUnchecked(VariableOperand(variable, true));
  return true;
}

bool ZetoVM::Pop(Operand* out) {
  if (stack_->empty()) {
    *out = IntegerOperand(0);
    StackUnderflow();
    return false;
  }
  *out = stack_->PopUnchecked();
  return true;
}

void ZetoVM::PopDiscard() {
  Operand op;
  if (Pop(&op)) ReleaseOperand(&op);
}

int32_t ZetoVM::PopInteger() {
  Operand op;
  if (!Pop(&op)) return 0;
  int32_t v = OperandInteger(op);
  ReleaseOperand(&op);
  return v;
}

bool ZetoVM::PopText(std::string* out) {
  Operand op;
  if (!Pop(&op)) {
    out->clear();
    return false;
  }
  {
    OperandText text(op);
    out->assign(text.data(), text.size());
  }
  ReleaseOperand(&op);
  return true;
}

VarRef ZetoVM::PopVariable() {
  Operand op;
  if (!Pop(&op)) return VarRef();
  if (op.kind != OperandKind::kVariable) {
    ReleaseOperand(&op);
    FatalError("Invalid variable reference");
    return VarRef();
  }
  // Variable entries always hold a reference; it passes to the caller.
  return VarRef::Adopt(op.value.variable);
}

bool ZetoVM::PopInto(Variable* target) {
  Operand op;
  if (!Pop(&op)) return false;
  if (target == nullptr) {
    ReleaseOperand(&op);
    return false;
  }
  AssignOperand(target, op);
  return true;
}

Operand* ZetoVM::Peek() {
  return stack_->empty() ? nullptr : &stack_->FromTop(0);
}

void ZetoVM::DumpStack() {
  stack_->Dump(stdout);
}

void ZetoVM::StackOverflow() {
  FatalError("Stack overflow");
}

void ZetoVM::StackUnderflow() {
  FatalError("Stack underflow");
}

// --- Names ---

bool ZetoVM::DictionaryString(int32_t index, std::string_view* out) {
  bool found = false;
  *out = program_.dictionary != nullptr ? program_.dictionary->View(index, &found)
                                        : std::string_view();
  if (!found) FatalError("Invalid dictionary reference");
  return found;
}

void ZetoVM::PushNamed(std::string_view name) {
  PushVariable(LookupDynamicVariable(*this, name));
}

void ZetoVM::PushName() {
  std::string name;
  if (PopText(&name)) PushNamed(name);
}

void ZetoVM::PopNamed(std::string_view name) {
  Operand value;
  if (!Pop(&value)) return;
  Variable* target = LookupDynamicVariable(*this, name);
  if (target != nullptr) {
    AssignOperand(target, value);
  } else {
    ReleaseOperand(&value);
  }
}

void ZetoVM::PopName() {
  std::string name;
  if (PopText(&name)) PopNamed(name);
}

}  // namespace orin
