// Block tags (capture, lockfile), hidden form fields, database fields and
// the instructions other subsystems serve.
#include <string>

#include "image/byte_order.h"
#include "image/opcodes.h"
#include "image/segment.h"
#include "output/output.h"
#include "util/ascii.h"
#include "util/html_encode.h"
#include "variables/value_walk.h"
#include "vm/capture.h"
#include "vm/lockfile.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kLockfileTag = 23;

// Writes one hidden field per leaf of a value; element names extend the
// variable's name with "[index]" and ":member".
class HiddenFields {
 public:
  HiddenFields(Output* out, std::string_view name) : out_(out), name_(name) {}

  void Enter(Variable*, const AggregateElement* element, AggregateElementTree*) {
    marks_.push_back(name_.size());
    if (element != nullptr) name_.append(element->Key().Text().view());
  }
  void Leave(Variable*) {
    name_.resize(marks_.back());
    marks_.pop_back();
  }
  void Scalar(Variable* v, const AggregateElement* element) {
    size_t mark = name_.size();
    if (element != nullptr) name_.append(element->Key().Text().view());
    std::string field = "<input type=\"hidden\" name=\"";
    AppendHtmlEncoded(&field, name_, HtmlEncoding::kMarkup);
    field += "\" value=\"";
    AppendHtmlEncoded(&field, v->Value().view(), HtmlEncoding::kMarkup);
    field += "\">";
    out_->Write(field.data(), static_cast<int32_t>(field.size()));
    name_.resize(mark);
  }
  void Cycle(Variable*, const AggregateElement*) {}

 private:
  Output* out_;
  std::string name_;
  std::vector<size_t> marks_;
};

}  // namespace

// hide: the popped text lists variable names separated by commas.
void ZetoVM::Hide() {
  std::string names;
  if (!PopText(&names) || CurrentOutput() == nullptr) return;
  std::string_view rest = names;
  while (!rest.empty() && !aborted_) {
    size_t comma = rest.find(',');
    std::string_view name = TrimSpaceTabCrLf(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (name.empty()) continue;
    Variable* v = LookupDynamicVariable(*this, name);
    if (v == nullptr) continue;
    VarRef held = VarRef::Share(v);
    HiddenFields fields(CurrentOutput(), ParseDynamicName(name).path);
    WalkValue(held.get(), fields);
  }
}

// A block that could not start never runs its body: continue just after
// its closing instruction, counting nested blocks of the same kind. Without
// one the code ends.
void ZetoVM::SkipToClosing(uint16_t open, uint16_t close) {
  Segment* s = program_.segments != nullptr ? program_.segments->Get(segment_) : nullptr;
  if (s == nullptr) return;
  const uint8_t* code = s->code();
  uint32_t length = s->length();
  uint32_t depth = 0;
  Instruction ins;
  for (uint32_t pc = pc_; DecodeInstruction(code, length, pc, &ins); pc = ins.next()) {
    if (ins.opcode == open) {
      ++depth;
    } else if (ins.opcode == close) {
      if (depth == 0) {
        pc_ = ins.next();
        return;
      }
      --depth;
    }
  }
  pc_ = length;
}

void ZetoVM::BeginCapture() {
  VarRef target = PopVariable();
  if (!target) {
    if (!aborted_) SkipToClosing(kCapture, kCaptureEnd);
    return;
  }
  auto capture = std::make_unique<Capture>(application_, frame_, target.get());
  capture->Begin();
  features_.Push(std::move(capture));
}

void ZetoVM::EndCapture() {
  Feature* feature = features_.Innermost(FeatureKind::kCapture);
  if (feature == nullptr) {
    FatalError("Invalid instruction");
    return;
  }
  static_cast<Capture*>(feature)->End();
  features_.Stop(feature);
}

void ZetoVM::BeginLockfile() {
  std::string name;
  if (!PopText(&name)) return;
  auto lock = std::make_unique<Lockfile>(application_->GetFileManager(), frame_, name);
  if (lock->Acquire()) {
    features_.Push(std::move(lock));
    return;
  }
  RuntimeError(kLockfileTag, lock->ErrorText());
  if (!aborted_) SkipToClosing(kLockfile, kLockfileEnd);
}

void ZetoVM::EndLockfile() {
  Feature* feature = features_.Innermost(FeatureKind::kLockfile);
  if (feature == nullptr) {
    FatalError("Invalid instruction");
    return;
  }
  features_.Stop(feature);
}

// pushd: pop field name, pop alias; push the field or null.
void ZetoVM::PushField() {
  std::string field, alias;
  if (!PopText(&field) || !PopText(&alias)) return;
  PushVariable(DatabaseField(alias, field));
}

// popd: pop field name, pop alias; pop a value into the field or discard it.
void ZetoVM::PopField() {
  std::string field, alias;
  if (!PopText(&field) || !PopText(&alias)) return;
  PopIntoOrDiscard(DatabaseField(alias, field));
}

void ZetoVM::PushFieldConstant(int32_t alias, int32_t field) {
  std::string_view a, f;
  if (!DictionaryString(alias, &a) || !DictionaryString(field, &f)) return;
  PushVariable(DatabaseField(a, f));
}

void ZetoVM::PopFieldConstant(int32_t alias, int32_t field) {
  std::string_view a, f;
  if (!DictionaryString(alias, &a) || !DictionaryString(field, &f)) return;
  PopIntoOrDiscard(DatabaseField(a, f));
}

void ZetoVM::PopIntoOrDiscard(Variable* target) {
  if (target != nullptr) {
    PopInto(target);
  } else {
    PopDiscard();
  }
}

// Everything the loop does not know itself: a registered handler, or the
// fatal error that names the instruction.
void ZetoVM::OtherInstruction(uint16_t opcode, const uint8_t* operands, uint32_t next) {
  const OpcodeInfo* info = FindOpcode(opcode);
  if (info == nullptr) {
    FatalError("Illegal Instruction");
    return;
  }
  TagInstruction instruction{opcode, 0, 0, instruction_start_, next};
  if (OperandABytes(opcode) == 4) instruction.a = static_cast<int32_t>(GetLE32(operands));
  if (OperandBBytes(opcode) == 4) {
    instruction.b = static_cast<int32_t>(GetLE32(operands + OperandABytes(opcode)));
  }
  if (TagInstructionHandler handler = FindTagInstructionHandler(opcode)) {
    handler(*this, instruction);
    return;
  }
  std::string message = "Instruction '";
  message += info->mnemonic;
  message += "' is not supported by this server";
  FatalError(message);
}

}  // namespace orin
