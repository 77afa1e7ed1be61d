// The directives of the source language (docs/ztasm.md).
#include <cstring>

#include "asm/asm_state.h"
#include "image/byte_order.h"
#include "image/opcodes.h"
#include "util/ascii.h"

namespace orin {

namespace {

constexpr uint64_t kU32 = 0xFFFFFFFF;
constexpr uint64_t kMaxSegmentNumber = 1 << 20;  // keeps a typo from allocating millions

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

struct FlagWord {
  const char* word;
  uint32_t flag;
};
constexpr FlagWord kFunctionWords[] = {
    {"external", Function::kExternal},       {"collapse", Function::kCollapseOutput},
    {"showerrors", Function::kShowErrors},   {"hideerrors", Function::kHideErrors},
    {"compress", Function::kCompressOutput}, {"private", Function::kPrivate},
};

}  // namespace

void AsmState::Directive(const AsmToken& directive) {
  std::string name = Lower(directive.text);
  uint64_t value = 0;
  if (name == "version") {
    if (ParseUnsigned(kU32, &value, "a version") && ExpectEnd()) {
      version_ = static_cast<uint32_t>(value);
    }
  } else if (name == "producer") {
    uint64_t second = 0;
    if (ParseUnsigned(UINT64_MAX, &value, "a 64-bit word") && (Accept(AsmToken::kComma), true) &&
        ParseUnsigned(UINT64_MAX, &second, "a 64-bit word") && ExpectEnd()) {
      producer_[0] = value;
      producer_[1] = second;
    }
  } else if (name == "dictflags") {
    if (ParseUnsigned(kU32, &value, "flags") && ExpectEnd()) {
      image_.dictionary.SetFlags(static_cast<uint32_t>(value));
    }
  } else if (name == "string") {
    while (!AtEnd()) {
      if (!PeekIs(AsmToken::kString)) {
        Error("expected a quoted string");
        return;
      }
      const std::string& bytes = Peek()->text;
      auto id = static_cast<uint32_t>(image_.dictionary.Add(bytes));
      interned_.emplace(bytes, id);  // the first copy stays the interned one
      ++pos_;
      Accept(AsmToken::kComma);
    }
  } else if (name == "system") {
    DirectiveVariables(&system_, true);
  } else if (name == "global") {
    DirectiveVariables(&globals_, true);
  } else if (name == "local") {
    if (CurrentFunction() == nullptr) {
      Error(".local outside a function");
    } else {
      DirectiveVariables(&CurrentFunction()->locals, true);
    }
  } else if (name == "functions") {
    DirectiveFunctions();
  } else if (name == "func") {
    DirectiveFunc();
  } else if (name == "param") {
    DirectiveParam();
  } else if (name == "end") {
    if (current_function_ < 0) {
      Error(".end without .func");
    } else if (ExpectEnd()) {
      CloseFunction();
    }
  } else if (name == "segment") {
    DirectiveSegment();
  } else if (name == "start") {
    if (ParseUnsigned(kMaxSegmentNumber, &value, "a segment number") && ExpectEnd()) {
      start_ = static_cast<int64_t>(value);
      start_line_ = line_;
    }
  } else if (name == "languages") {
    std::map<std::string, const AsmToken*> options;
    std::optional<uint64_t> bits;
    if (ParseOptions(&options, {"bits"}) &&
        OptionValue(options, "bits", NameChains::kMaxBits, &bits) && bits) {
      language_bits_ = static_cast<int>(*bits);
    }
  } else if (name == "language") {
    DirectiveLanguage();
  } else if (name == "token") {
    DirectiveToken();
  } else if (name == "locentry") {
    DirectiveLocEntry();
  } else if (name == "insn") {
    DirectiveInsn();
  } else if (name == "bytes") {
    DirectiveBytes();
  } else if (name == "section") {
    DirectiveSection();
  } else {
    Error("unknown directive '." + directive.text + "'");
  }
}

// .system / .global / .local [bits=N] names...
void AsmState::DirectiveVariables(AsmVariables* table, bool allow_bits) {
  while (!AtEnd()) {
    if (allow_bits && PeekIs(AsmToken::kIdent) && PeekIs(AsmToken::kEquals, 1)) {
      if (Lower(Peek()->text) != "bits") {
        Error("unknown option '" + Peek()->text + "'");
        return;
      }
      pos_ += 2;
      uint64_t bits = 0;
      if (!ParseUnsigned(NameChains::kMaxBits, &bits, "bucket bits")) return;
      table->bits = static_cast<int>(bits);
    } else {
      AsmName name;
      if (!ParseName(&name, "a variable name")) return;
      if (table->Find(name.bytes) < 0) table->Declare(name.bytes, name.id);
    }
    Accept(AsmToken::kComma);
  }
}

// .functions [bits=N] names...: fixes the numbers of functions defined later.
void AsmState::DirectiveFunctions() {
  while (!AtEnd()) {
    if (PeekIs(AsmToken::kIdent) && PeekIs(AsmToken::kEquals, 1) && Lower(Peek()->text) == "bits") {
      pos_ += 2;
      uint64_t bits = 0;
      if (!ParseUnsigned(NameChains::kMaxBits, &bits, "bucket bits")) return;
      function_bits_ = static_cast<int>(bits);
    } else {
      AsmName name;
      if (!ParseName(&name, "a function name")) return;
      if (FindFunction(name.bytes) >= 0) {
        Error("function '" + name.bytes + "' already declared");
        return;
      }
      DeclareFunction(name);
    }
    Accept(AsmToken::kComma);
  }
}

bool AsmState::ParseParameterList(AsmFunction* f) {
  // Called after '('; parameters are [&]name separated by commas.
  while (!Accept(AsmToken::kRParen)) {
    if (AtEnd()) return Error("expected ')'");
    uint32_t flags = Accept(AsmToken::kAmp) ? FunctionParameter::kByReference : 0;
    AsmName name;
    if (!ParseName(&name, "a parameter name")) return false;
    int32_t slot = f->locals.Find(name.bytes);
    if (slot < 0) slot = static_cast<int32_t>(f->locals.Declare(name.bytes, name.id));
    f->parameters.push_back({name.id, flags, static_cast<uint32_t>(slot)});
    if (!PeekIs(AsmToken::kRParen) && !Accept(AsmToken::kComma))
      return Error("expected ',' or ')'");
  }
  return true;
}

// .func NAME [(params)] [words] [bits=N flags=N segment=N offset=N]
void AsmState::DirectiveFunc() {
  AsmName name;
  if (!ParseName(&name, "a function name")) return;
  int32_t n = FindFunction(name.bytes);
  if (n >= 0 && functions_[n].defined) {
    Error("function '" + name.bytes + "' already defined on line " +
          std::to_string(functions_[n].line));
    return;
  }
  AsmFunction f;
  if (Accept(AsmToken::kLParen) && !ParseParameterList(&f)) return;
  while (PeekIs(AsmToken::kIdent) && !PeekIs(AsmToken::kEquals, 1)) {
    std::string word = Lower(Peek()->text);
    bool known = false;
    for (const FlagWord& w : kFunctionWords) {
      if (word == w.word) {
        f.flags |= w.flag;
        known = true;
      }
    }
    if (!known) {
      Error("unknown function attribute '" + Peek()->text + "'");
      return;
    }
    ++pos_;
  }
  std::map<std::string, const AsmToken*> options;
  std::optional<uint64_t> bits, flags, segment, offset;
  if (!ParseOptions(&options, {"bits", "flags", "segment", "offset"}) ||
      !OptionValue(options, "bits", NameChains::kMaxBits, &bits) ||
      !OptionValue(options, "flags", kU32, &flags) ||
      !OptionValue(options, "segment", kU32, &segment) ||
      !OptionValue(options, "offset", kU32, &offset)) {
    return;
  }
  CloseFunction();
  if (n < 0) n = static_cast<int32_t>(DeclareFunction(name));
  AsmFunction& target = functions_[n];
  f.name = target.name;
  f.name_id = target.name_id;
  f.defined = true;
  f.line = line_;
  if (flags) f.flags |= static_cast<uint32_t>(*flags);
  if (bits) f.locals.bits = static_cast<int>(*bits);
  current_function_ = n;
  if ((f.flags & Function::kExternal) || segment || offset) {
    f.segment = segment ? static_cast<uint32_t>(*segment) : Function::kNoBody;
    f.offset = offset ? static_cast<uint32_t>(*offset) : Function::kNoBody;
    function_has_body_ = false;
  } else if (explicit_segments_) {
    f.segment = current_segment_;
    f.offset = static_cast<uint32_t>(Code().code.size());
    function_has_body_ = true;
  } else {
    // Without .segment directives each function gets a segment of its own,
    // so the main program never runs into a body.
    return_segment_ = current_segment_;
    current_segment_ = static_cast<uint32_t>(segments_.size());
    EnsureSegment(current_segment_);
    f.segment = current_segment_;
    f.offset = 0;
    function_has_body_ = true;
    function_own_segment_ = true;
  }
  target = std::move(f);
}

// .param [&]NAME [byref] [flags=N] [slot=N]
void AsmState::DirectiveParam() {
  AsmFunction* f = CurrentFunction();
  if (f == nullptr) {
    Error(".param outside a function");
    return;
  }
  uint32_t flags = Accept(AsmToken::kAmp) ? FunctionParameter::kByReference : 0;
  AsmName name;
  if (!ParseName(&name, "a parameter name")) return;
  if (PeekIs(AsmToken::kIdent) && !PeekIs(AsmToken::kEquals, 1)) {
    if (Lower(Peek()->text) != "byref") {
      Error("unknown parameter attribute '" + Peek()->text + "'");
      return;
    }
    flags |= FunctionParameter::kByReference;
    ++pos_;
  }
  std::map<std::string, const AsmToken*> options;
  std::optional<uint64_t> extra, slot;
  if (!ParseOptions(&options, {"flags", "slot"}) || !OptionValue(options, "flags", kU32, &extra) ||
      !OptionValue(options, "slot", kU32, &slot)) {
    return;
  }
  if (extra) flags |= static_cast<uint32_t>(*extra);
  if (!slot) {
    int32_t s = f->locals.Find(name.bytes);
    slot = s >= 0 ? static_cast<uint32_t>(s) : f->locals.Declare(name.bytes, name.id);
  }
  f->parameters.push_back({name.id, flags, static_cast<uint32_t>(*slot)});
}

// .segment [N]: from here on code goes where the directives say.
void AsmState::DirectiveSegment() {
  uint64_t number = segments_.size();
  if (!AtEnd() && !ParseUnsigned(kMaxSegmentNumber, &number, "a segment number")) return;
  if (!ExpectEnd()) return;
  CloseFunction();
  explicit_segments_ = true;
  current_segment_ = static_cast<uint32_t>(number);
  EnsureSegment(current_segment_);
}

// .language NAME [bits=N] [reserved=N]
void AsmState::DirectiveLanguage() {
  AsmName name;
  if (!ParseName(&name, "a language name")) return;
  std::map<std::string, const AsmToken*> options;
  std::optional<uint64_t> bits, reserved;
  if (!ParseOptions(&options, {"bits", "reserved"}) ||
      !OptionValue(options, "bits", NameChains::kMaxBits, &bits) ||
      !OptionValue(options, "reserved", kU32, &reserved)) {
    return;
  }
  AsmLanguage& language = languages_[DeclareLanguage(name)];
  if (bits) language.bits = static_cast<int>(*bits);
  if (reserved) language.reserved = static_cast<uint32_t>(*reserved);
}

// .token LANGUAGE NAME pieces... | .token LANGUAGE NAME entry=N
void AsmState::DirectiveToken() {
  AsmName language_name, name;
  if (!ParseName(&language_name, "a language name") || !ParseName(&name, "a token name")) return;
  std::vector<LocalizedEntry> pieces;
  std::optional<uint64_t> entry;
  if (PeekIs(AsmToken::kIdent) && PeekIs(AsmToken::kEquals, 1)) {
    std::map<std::string, const AsmToken*> options;
    if (!ParseOptions(&options, {"entry"}) || !OptionValue(options, "entry", kU32, &entry)) return;
  } else {
    while (!AtEnd()) {
      if (Accept(AsmToken::kDollar)) {
        AsmName variable;
        if (!ParseName(&variable, "a parameter name after $")) return;
        pieces.push_back({LocalizedDictionary::kVariable, variable.id, 0});
      } else if (PeekIs(AsmToken::kString) || PeekIs(AsmToken::kAt)) {
        uint32_t id;
        if (!ParseString(&id)) return;
        pieces.push_back({LocalizedDictionary::kLiteral, id, 0});
      } else {
        Error("expected a piece of text: \"text\" or $name");
        return;
      }
      Accept(AsmToken::kComma);
    }
    if (pieces.empty()) pieces.push_back({LocalizedDictionary::kLiteral, Intern(""), 0});
  }
  AsmLanguage& language = languages_[DeclareLanguage(language_name)];
  if (!language.token_names.emplace(Lower(name.bytes), language.tokens.size()).second) {
    Error("token '" + name.bytes + "' already defined for language '" + language.name + "'");
    return;
  }
  uint32_t first =
      entry ? static_cast<uint32_t>(*entry) : static_cast<uint32_t>(loc_entries_.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    pieces[i].next = i + 1 < pieces.size() ? static_cast<uint32_t>(loc_entries_.size() + 1)
                                           : LocalizedDictionary::kEnd;
    loc_entries_.push_back(pieces[i]);
  }
  language.tokens.push_back({name.id, first});
}

// .locentry literal TEXT [next=N|end] | .locentry variable NAME [next=...]
void AsmState::DirectiveLocEntry() {
  if (!PeekIs(AsmToken::kIdent)) {
    Error("expected 'literal' or 'variable'");
    return;
  }
  std::string kind = Lower(Peek()->text);
  ++pos_;
  LocalizedEntry e{0, 0, LocalizedDictionary::kEnd};
  if (kind == "literal") {
    e.kind = LocalizedDictionary::kLiteral;
    if (!ParseString(&e.text_id)) return;
  } else if (kind == "variable") {
    AsmName name;
    if (!ParseName(&name, "a parameter name")) return;
    e.kind = LocalizedDictionary::kVariable;
    e.text_id = name.id;
  } else {
    Error("expected 'literal' or 'variable'");
    return;
  }
  if (PeekIs(AsmToken::kIdent) && Lower(Peek()->text) == "next" && PeekIs(AsmToken::kEquals, 1)) {
    pos_ += 2;
    if (PeekIs(AsmToken::kIdent) && Lower(Peek()->text) == "end") {
      ++pos_;
    } else {
      uint64_t next = 0;
      if (!ParseUnsigned(kU32, &next, "an entry number or 'end'")) return;
      e.next = static_cast<uint32_t>(next);
    }
  }
  if (ExpectEnd()) loc_entries_.push_back(e);
}

// .insn OPCODE [A] [B]: any opcode word, operands as its kind bits say.
void AsmState::DirectiveInsn() {
  uint64_t op = 0;
  if (!ParseUnsigned(0xFFFF, &op, "an opcode")) return;
  auto opcode = static_cast<uint16_t>(op);
  PrepareForCode();
  uint32_t start = static_cast<uint32_t>(Code().code.size());
  uint32_t end = start + InstructionBytes(opcode);
  std::vector<uint8_t> bytes(2);
  PutLE16(bytes.data(), opcode);
  size_t fixups = fixups_.size();
  uint32_t sizes[2] = {OperandABytes(opcode), OperandBBytes(opcode)};
  for (uint32_t size : sizes) {
    if (size == 0) continue;
    Accept(AsmToken::kComma);
    OperandRole role = size == 8 ? OperandRole::kDouble : OperandRole::kTarget;
    if (AtEnd() || !Operand(role, end, &bytes, start + static_cast<uint32_t>(bytes.size()))) {
      if (AtEnd()) Error("opcode needs its operands");
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

namespace {

// Byte values and strings, for .bytes and .section.
bool AppendData(const AsmToken& t, std::string* out, std::string* error) {
  if (t.kind == AsmToken::kString) {
    out->append(t.text);
    return true;
  }
  if (t.kind == AsmToken::kNumber && t.is_integer && !t.negative && t.magnitude <= 0xFF) {
    out->push_back(static_cast<char>(t.magnitude));
    return true;
  }
  *error = "expected a byte (0 to 255) or a string, found '" + t.text + "'";
  return false;
}

}  // namespace

void AsmState::DirectiveBytes() {
  std::string data, error;
  for (; !AtEnd(); ++pos_) {
    if (PeekIs(AsmToken::kComma)) continue;
    if (!AppendData(*Peek(), &data, &error)) {
      Error(error);
      return;
    }
  }
  PrepareForCode();
  std::vector<uint8_t>& code = Code().code;
  code.insert(code.end(), data.begin(), data.end());
}

// .section ID data...: a section the runtime does not read, kept as given.
void AsmState::DirectiveSection() {
  uint32_t id = 0;
  if (PeekIs(AsmToken::kString) && Peek()->text.size() == 4) {
    const std::string& s = Peek()->text;
    for (int i = 0; i < 4; ++i)
      id |= static_cast<uint32_t>(static_cast<uint8_t>(s[i])) << (8 * i);
    ++pos_;
  } else {
    uint64_t v = 0;
    if (!ParseUnsigned(kU32, &v, "a section id (\"abcd\" or a number)")) return;
    id = static_cast<uint32_t>(v);
  }
  std::string data, error;
  for (; !AtEnd(); ++pos_) {
    if (PeekIs(AsmToken::kComma)) continue;
    if (!AppendData(*Peek(), &data, &error)) {
      Error(error);
      return;
    }
  }
  for (auto& section : raw_sections_) {
    if (section.first == id) {
      section.second += data;
      return;
    }
  }
  raw_sections_.emplace_back(id, std::move(data));
}

}  // namespace orin
