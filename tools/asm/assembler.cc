#include "asm/assembler.h"

#include <cstring>

#include "asm/asm_state.h"
#include "image/byte_order.h"
#include "image/opcodes.h"
#include "util/ascii.h"

namespace orin {

namespace {

constexpr uint64_t kU32 = 0xFFFFFFFF;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

void AppendLE32(std::vector<uint8_t>* bytes, uint32_t v) {
  uint8_t b[4];
  PutLE32(b, v);
  bytes->insert(bytes->end(), b, b + 4);
}

void AppendLE64(std::vector<uint8_t>* bytes, uint64_t v) {
  uint8_t b[8];
  PutLE64(b, v);
  bytes->insert(bytes->end(), b, b + 8);
}

}  // namespace

int32_t AsmVariables::Find(std::string_view name) const {
  auto it = slots.find(Lower(name));
  return it == slots.end() ? -1 : static_cast<int32_t>(it->second);
}

uint32_t AsmVariables::Declare(std::string_view name, uint32_t name_id) {
  auto slot = static_cast<uint32_t>(name_ids.size());
  name_ids.push_back(name_id);
  slots.emplace(Lower(name), slot);
  return slot;
}

AsmState::AsmState(std::string_view file_name, std::vector<std::string>* errors)
    : file_name_(file_name), errors_(errors) {
  segments_.resize(1);
}

bool AsmState::ErrorAt(int line, const std::string& message) {
  if (errors_->size() < Assembler::kMaxErrors) {
    errors_->push_back(file_name_ + ":" + std::to_string(line) + ": " + message);
  }
  return false;
}

bool AsmState::Error(const std::string& message) {
  return ErrorAt(line_, message);
}

bool AsmState::Accept(AsmToken::Kind kind) {
  if (!PeekIs(kind)) return false;
  ++pos_;
  return true;
}

bool AsmState::ExpectEnd() {
  if (AtEnd()) return true;
  return Error("unexpected '" + Peek()->text + "'");
}

uint32_t AsmState::Intern(std::string_view bytes) {
  std::string key(bytes);
  auto it = interned_.find(key);
  if (it != interned_.end()) return it->second;
  auto id = static_cast<uint32_t>(image_.dictionary.Add(bytes));
  interned_.emplace(std::move(key), id);
  return id;
}

void AsmState::Line(int number, std::string_view text) {
  line_ = number;
  std::string error;
  if (!LexLine(text, &tokens_, &error)) {
    Error(error);
    return;
  }
  pos_ = 0;
  while (PeekIs(AsmToken::kIdent) && PeekIs(AsmToken::kColon, 1)) {
    PrepareForCode();
    AsmSegment& segment = Code();
    const std::string& label = tokens_[pos_].text;
    if (!segment.labels.emplace(label, static_cast<uint32_t>(segment.code.size())).second) {
      Error("label '" + label + "' already defined in this segment");
      return;
    }
    pos_ += 2;
  }
  if (AtEnd()) return;
  const AsmToken& t = tokens_[pos_++];
  if (t.kind == AsmToken::kDirective) {
    Directive(t);
  } else if (t.kind == AsmToken::kIdent) {
    Instruction(t);
  } else {
    Error("expected an instruction or a directive, found '" + t.text + "'");
  }
}

// Operands.

bool AsmState::ParseInt32(int32_t* value, const char* what) {
  const AsmToken* t = Peek();
  if (t == nullptr || t->kind != AsmToken::kNumber || !t->is_integer) {
    return Error(std::string("expected ") + what);
  }
  if ((t->negative && t->magnitude > 0x80000000ull) || (!t->negative && t->magnitude > kU32)) {
    return Error("integer " + t->text + " does not fit 32 bits");
  }
  ++pos_;
  uint32_t u = static_cast<uint32_t>(t->magnitude);
  *value = static_cast<int32_t>(t->negative ? 0u - u : u);
  return true;
}

bool AsmState::ParseUnsigned(uint64_t limit, uint64_t* value, const char* what) {
  const AsmToken* t = Peek();
  if (t == nullptr || t->kind != AsmToken::kNumber || !t->is_integer || t->negative) {
    return Error(std::string("expected ") + what);
  }
  if (t->magnitude > limit) return Error(t->text + " is out of range for " + what);
  ++pos_;
  *value = t->magnitude;
  return true;
}

bool AsmState::ParseDouble(double* value) {
  const AsmToken* t = Peek();
  if (t != nullptr && t->kind == AsmToken::kNumber) {
    ++pos_;
    *value = t->real;
    return true;
  }
  // raw(0x...) gives the exact bits (NaN payloads).
  if (t != nullptr && t->kind == AsmToken::kIdent && t->text == "raw" &&
      PeekIs(AsmToken::kLParen, 1)) {
    pos_ += 2;
    uint64_t bits = 0;
    if (!ParseUnsigned(UINT64_MAX, &bits, "the bits of a double")) return false;
    if (!Accept(AsmToken::kRParen)) return Error("expected ')'");
    std::memcpy(value, &bits, sizeof bits);
    return true;
  }
  return Error("expected a number");
}

bool AsmState::ParseName(AsmName* name, const char* what) {
  const AsmToken* t = Peek();
  if (t != nullptr && (t->kind == AsmToken::kIdent || t->kind == AsmToken::kString)) {
    ++pos_;
    name->bytes = t->text;
    name->id = Intern(t->text);
    return true;
  }
  if (t != nullptr && t->kind == AsmToken::kAt) {
    // An index outside the dictionary is allowed: it makes the reference a
    // program may be tested with.
    if (t->magnitude > kU32) return Error("dictionary index " + t->text + " does not fit 32 bits");
    ++pos_;
    name->id = static_cast<uint32_t>(t->magnitude);
    name->bytes = std::string(NameOf(name->id));
    return true;
  }
  return Error(std::string("expected ") + what);
}

bool AsmState::ParseString(uint32_t* id) {
  AsmName name;
  if (!ParseName(&name, "a string (\"text\", a name or @index)")) return false;
  *id = name.id;
  return true;
}

bool AsmState::ParseOptions(std::map<std::string, const AsmToken*>* options,
                            const std::vector<std::string>& allowed) {
  while (!AtEnd()) {
    if (!PeekIs(AsmToken::kIdent) || !PeekIs(AsmToken::kEquals, 1) || Peek(2) == nullptr) {
      return Error("expected key=value, found '" + Peek()->text + "'");
    }
    std::string key = Lower(Peek()->text);
    bool known = false;
    for (const std::string& a : allowed)
      known = known || a == key;
    if (!known) return Error("unknown option '" + key + "'");
    (*options)[key] = Peek(2);
    pos_ += 3;
    Accept(AsmToken::kComma);
  }
  return true;
}

bool AsmState::OptionValue(const std::map<std::string, const AsmToken*>& options, const char* key,
                           uint64_t limit, std::optional<uint64_t>* value) {
  auto it = options.find(key);
  if (it == options.end()) return true;
  const AsmToken* t = it->second;
  if (t->kind != AsmToken::kNumber || !t->is_integer) {
    return Error(std::string("expected a number after ") + key + "=");
  }
  uint64_t v = t->magnitude;
  if (t->negative) {
    if (v == 0 || v > 0x80000000ull || limit < kU32) {
      return Error(std::string(key) + "=" + t->text + " is out of range");
    }
    v = static_cast<uint32_t>(0u - static_cast<uint32_t>(v));
  }
  if (v > limit) return Error(std::string(key) + "=" + t->text + " is out of range");
  *value = v;
  return true;
}

// Instructions.

bool AsmState::Operand(OperandRole role, uint32_t end, std::vector<uint8_t>* bytes, uint32_t at) {
  int32_t value = 0;
  switch (role) {
    case OperandRole::kNone:
      return true;
    case OperandRole::kInt:
      if (!ParseInt32(&value, "an integer")) return false;
      break;
    case OperandRole::kDouble: {
      double d;
      if (!ParseDouble(&d)) return false;
      AppendLE64(bytes, DoubleBits(d));
      return true;
    }
    case OperandRole::kString: {
      uint32_t id;
      if (!ParseString(&id)) return false;
      value = static_cast<int32_t>(id);
      break;
    }
    case OperandRole::kSystem:
    case OperandRole::kGlobal:
    case OperandRole::kLocal: {
      if (PeekIs(AsmToken::kNumber)) {
        if (!ParseInt32(&value, "a slot number")) return false;
        break;
      }
      AsmName name;
      if (!ParseName(&name, "a variable name or slot number")) return false;
      AsmVariables& table = role == OperandRole::kSystem   ? system_
                            : role == OperandRole::kGlobal ? globals_
                                                           : LocalScope();
      int32_t slot = table.Find(name.bytes);
      value = slot >= 0 ? slot : static_cast<int32_t>(table.Declare(name.bytes, name.id));
      break;
    }
    case OperandRole::kTarget:
      if (PeekIs(AsmToken::kIdent)) {
        fixups_.push_back({AsmFixup::kLabel, current_segment_, at, end, Peek()->text, line_});
        ++pos_;
      } else if (!ParseInt32(&value, "a label or a relative offset")) {
        return false;
      }
      break;
    case OperandRole::kFunction:
      if (PeekIs(AsmToken::kNumber)) {
        if (!ParseInt32(&value, "a function")) return false;
      } else {
        AsmName name;
        if (!ParseName(&name, "a function name")) return false;
        fixups_.push_back({AsmFixup::kFunction, current_segment_, at, end, name.bytes, line_});
      }
      break;
  }
  AppendLE32(bytes, static_cast<uint32_t>(value));
  return true;
}

void AsmState::Instruction(const AsmToken& mnemonic) {
  const OpcodeInfo* info = FindMnemonic(mnemonic.text);
  if (info == nullptr) {
    Error("unknown mnemonic '" + mnemonic.text + "'");
    return;
  }
  PrepareForCode();
  uint32_t start = static_cast<uint32_t>(Code().code.size());
  uint32_t end = start + InstructionBytes(info->opcode);
  std::vector<uint8_t> bytes(2);
  PutLE16(bytes.data(), info->opcode);
  size_t fixups = fixups_.size();
  OperandRole roles[2] = {info->a, info->b};
  for (int i = 0; i < 2; ++i) {
    if (roles[i] == OperandRole::kNone) continue;
    if (i == 1) Accept(AsmToken::kComma);
    if (AtEnd()) {
      Error("'" + std::string(info->mnemonic) + "' needs " +
            (i == 0 ? "an operand" : "two operands"));
      fixups_.resize(fixups);
      return;
    }
    if (!Operand(roles[i], end, &bytes, start + static_cast<uint32_t>(bytes.size()))) {
      fixups_.resize(fixups);
      return;
    }
  }
  if (!ExpectEnd()) {
    fixups_.resize(fixups);
    return;
  }
  std::vector<uint8_t>& code = Code().code;
  code.insert(code.end(), bytes.begin(), bytes.end());
}

// Code placement.

void AsmState::EnsureSegment(uint32_t number) {
  if (segments_.size() <= number) segments_.resize(number + 1);
}

AsmSegment& AsmState::Code() {
  EnsureSegment(current_segment_);
  return segments_[current_segment_];
}

void AsmState::CloseFunction() {
  if (current_function_ >= 0 && function_own_segment_) current_segment_ = return_segment_;
  current_function_ = -1;
  function_has_body_ = false;
  function_own_segment_ = false;
}

// A declaration without a body (external, or placed by segment=/offset=)
// takes .param and .local lines; code after it belongs to the enclosing code.
void AsmState::PrepareForCode() {
  if (current_function_ >= 0 && !function_has_body_) CloseFunction();
}

AsmVariables& AsmState::LocalScope() {
  AsmFunction* f = CurrentFunction();
  return f != nullptr && function_has_body_ ? f->locals : globals_;
}

int32_t AsmState::FindFunction(std::string_view name) const {
  auto it = function_names_.find(Lower(name));
  return it == function_names_.end() ? -1 : static_cast<int32_t>(it->second);
}

uint32_t AsmState::DeclareFunction(const AsmName& name) {
  auto n = static_cast<uint32_t>(functions_.size());
  functions_.emplace_back();
  functions_.back().name = name.bytes;
  functions_.back().name_id = name.id;
  functions_.back().line = line_;
  function_names_.emplace(Lower(name.bytes), n);
  return n;
}

uint32_t AsmState::DeclareLanguage(const AsmName& name) {
  auto it = language_names_.find(Lower(name.bytes));
  if (it != language_names_.end()) return it->second;
  auto n = static_cast<uint32_t>(languages_.size());
  languages_.emplace_back();
  languages_.back().name = name.bytes;
  languages_.back().name_id = name.id;
  language_names_.emplace(Lower(name.bytes), n);
  return n;
}

std::string AssembleOrEmpty(std::string_view source, std::string* error) {
  Assembler assembler;
  std::string out;
  if (!assembler.Assemble(source, "source", &out)) {
    if (error != nullptr) *error = assembler.ErrorText();
    return std::string();
  }
  return out;
}

bool Assembler::Assemble(std::string_view source, std::string_view file_name, std::string* output) {
  errors_.clear();
  AsmState state(file_name, &errors_);
  int number = 0;
  size_t begin = 0;
  while (begin <= source.size() && errors_.size() < kMaxErrors) {
    size_t end = source.find('\n', begin);
    if (end == std::string_view::npos) end = source.size();
    state.Line(++number, source.substr(begin, end - begin));
    begin = end + 1;
  }
  bool ok = errors_.empty() && state.Finish(output);
  error_.clear();
  for (const std::string& e : errors_) {
    if (!error_.empty()) error_ += '\n';
    error_ += e;
  }
  return ok;
}

}  // namespace orin
