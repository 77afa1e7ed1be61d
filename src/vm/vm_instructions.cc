// Instructions the loop runs out of line: elements and members,
// references, stores, output, stack shuffles, positions and settings.
#include <cstdlib>
#include <cstring>
#include <new>

#include "image/dictionary.h"
#include "output/output.h"
#include "util/crypt.h"
#include "variables/link_buffer.h"
#include "variables/variable_hash.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kExpressionTag = 62;

// A copy of an entry that owns what it points at, so either entry may go
// first.
Operand OwnedCopy(const Operand& op) {
  Operand copy = op;
  if (!IsOwned(op)) return copy;
  switch (op.kind) {
    case OperandKind::kVariable:
      op.value.variable->AddRef();
      break;
    case OperandKind::kString: {
      auto* bytes = static_cast<char*>(std::malloc(static_cast<size_t>(op.length) + 1));
      if (bytes == nullptr) throw std::bad_alloc();
      if (op.length > 0) std::memcpy(bytes, op.value.string, op.length);
      bytes[op.length] = 0;
      copy.value.string = bytes;
      copy.size = op.length + 1;
      break;
    }
    case OperandKind::kNumber: {
      mpd_t* d = NewDecimal();
      uint32_t status = 0;
      mpd_qcopy(d, op.value.number, &status);
      CheckDecimalStatus(status);
      copy.value.number = d;
      break;
    }
    case OperandKind::kLinkBuffer: {
      const LinkBuffer& from = *op.value.buffer;
      auto* b = new LinkBuffer(from.first_unit(), from.growth_unit());
      b->ConcatCopy(from);
      copy.value.buffer = b;
      break;
    }
    case OperandKind::kInteger:
      break;
  }
  return copy;
}

}  // namespace

// elem / elemr: pop index, pop var; push the element (null when absent).
void ZetoVM::Element(bool create) {
  int32_t index = PopInteger();
  if (aborted_) return;
  if (index < 1) {
    PopDiscard();
    RuntimeError(kExpressionTag, "Array index must be positive integer");
    PushVariable(nullptr);
    return;
  }
  VarRef base = PopVariable();
  if (!base) return;
  PushVariable(base->Element(AggregateIndex(index), create));
}

// memb / membr: pop member name, pop var; push the member.
void ZetoVM::Member(bool create) {
  std::string name;
  if (!PopText(&name)) return;
  VarRef base = PopVariable();
  if (!base) return;
  PushVariable(base->Element(AggregateIndex::Member(name), create));
}

void ZetoVM::Store() {
  VarRef target = PopVariable();
  if (!target) return;
  PopInto(target.get());
}

// refer: pop X, pop Y; X becomes a reference to Y.
void ZetoVM::Refer() {
  VarRef x = PopVariable();
  if (!x) return;
  VarRef y = PopVariable();
  if (!y) return;
  x->Make_Reference(y.get());
}

// refern: pop a name, pop var; the named variable refers to var.
void ZetoVM::ReferNamed() {
  std::string name;
  if (!PopText(&name)) return;
  VarRef target = PopVariable();
  if (!target) return;
  if (Variable* named = LookupDynamicVariable(*this, name)) named->Make_Reference(target.get());
}

// refg / refl: the slot holds a new reference to the popped variable.
void ZetoVM::ReferSlot(VariableHash* table, int32_t slot) {
  VarRef target = PopVariable();
  if (target) table->MakeReference(slot, target.get());
}

// refnc: the variable named dict[A] becomes a reference in place.
void ZetoVM::ReferDictionaryName(int32_t index) {
  std::string_view name;
  if (!DictionaryString(index, &name)) return;
  VarRef target = PopVariable();
  if (!target) return;
  if (Variable* named = LookupDynamicVariable(*this, name)) named->Make_Reference(target.get());
}

// out: a link buffer goes out block by block, anything else as its text.
void ZetoVM::Out() {
  Operand value;
  if (!Pop(&value)) return;
  Output* out = CurrentOutput();
  if (out == nullptr) {
    // A run without a sink drops what it prints.
  } else if (value.kind == OperandKind::kLinkBuffer) {
    value.value.buffer->ForEachBlock([out](const char* bytes, uint32_t n) {
      out->Write(bytes, static_cast<int32_t>(n));
      return true;
    });
  } else {
    OperandText text(value);
    if (text.size() > 0) out->Write(text.data(), static_cast<int32_t>(text.size()));
  }
  ReleaseOperand(&value);
}

// out_comp: written through the output's whitespace mode.
void ZetoVM::OutText() {
  Operand value;
  if (!Pop(&value)) return;
  Output* out = CurrentOutput();
  if (out != nullptr) {
    OperandText text(value);
    if (text.size() > 0) out->WriteText(text.data(), static_cast<int32_t>(text.size()));
  }
  ReleaseOperand(&value);
}

void ZetoVM::ErrPrefix() {
  std::string prefix;
  if (PopText(&prefix)) error_prefix_ = std::move(prefix);
}

void ZetoVM::Dup() {
  if (stack_->empty()) return StackUnderflow();
  if (stack_->full()) return StackOverflow();
  stack_->PushUnchecked(OwnedCopy(stack_->FromTop(0)));
}

// swap (0, 1) and swapn A, B: entries counted from the top.
void ZetoVM::Swap(int32_t a, int32_t b, const char* message) {
  uint32_t count = stack_->count();
  if (a < 0 || b < 0 || static_cast<uint32_t>(a) >= count || static_cast<uint32_t>(b) >= count) {
    FatalError(message);
    return;
  }
  std::swap(stack_->FromTop(static_cast<uint32_t>(a)), stack_->FromTop(static_cast<uint32_t>(b)));
}

void ZetoVM::SystemSavePop() {
  if (!program_.system->PopSaveLevel()) FatalError("System variable stack underflow");
}

void ZetoVM::LineNumber(int32_t line) {
  line_ = line;
  if (Tracing(kLogTrace) && line != last_traced_line_) {
    last_traced_line_ = line;
    WriteTrace(kLogTrace, {});
  }
}

void ZetoVM::SourceFile(int32_t index) {
  std::string_view name;
  if (!DictionaryString(index, &name)) return;
  if (index != source_file_) {
    source_file_ = index;
    last_traced_line_ = 0;
  }
}

void ZetoVM::StdOutput(int32_t mode) {
  frame_->set_output_mode(static_cast<uint32_t>(mode));
  if (Output* out = CurrentOutput()) out->SetMode(static_cast<uint32_t>(mode));
}

void ZetoVM::TagError(int32_t tag, int32_t setting) {
  if (tag >= 0 && tag < kErrorSettingRows) error_settings_[tag] = setting;
}

void ZetoVM::PushDouble(double value) {
  PushNumber(DecimalFromDouble(nullptr, value), true);
}

void ZetoVM::CryptOperator() {
  Operand salt, text;
  if (!Pop(&salt)) return;
  if (!Pop(&text)) {
    ReleaseOperand(&salt);
    return;
  }
  if (!crypt_) crypt_ = std::make_unique<Crypt>();
  Push(OpCrypt(crypt_.get(), text, salt));
}

}  // namespace orin
