// Internal state of one assembly: what the source declared so far, the
// code of each segment and the references resolved at the end.
#ifndef ORIN_TOOLS_ASM_ASM_STATE_H_
#define ORIN_TOOLS_ASM_ASM_STATE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "asm/asm_lexer.h"
#include "image/opcodes.h"
#include "image/program_image.h"

namespace orin {

// A variable table being declared: slots in order, looked up by name
// ignoring letter case as the runtime does.
struct AsmVariables {
  std::vector<uint32_t> name_ids;
  std::unordered_map<std::string, uint32_t> slots;  // lower-cased name -> first slot
  int bits = -1;                                    // -1: chosen from the count

  int32_t Find(std::string_view name) const;
  uint32_t Declare(std::string_view name, uint32_t name_id);
};

struct AsmParameter {
  uint32_t name_id;
  uint32_t flags;
  uint32_t slot;
};

struct AsmFunction {
  std::string name;
  uint32_t name_id = 0;
  bool defined = false;
  int line = 0;
  uint32_t flags = 0;
  uint32_t segment = Function::kNoBody;
  uint32_t offset = Function::kNoBody;
  std::vector<AsmParameter> parameters;
  AsmVariables locals;
};

struct AsmSegment {
  std::vector<uint8_t> code;
  std::map<std::string, uint32_t> labels;
};

// A relative operand or a call waiting for its label or function.
struct AsmFixup {
  enum Kind { kLabel, kFunction } kind;
  uint32_t segment;
  uint32_t at;   // where the 32-bit operand goes
  uint32_t end;  // end of the instruction (jumps are relative to it)
  std::string name;
  int line;
};

struct AsmLanguage {
  std::string name;
  uint32_t name_id = 0;
  int bits = -1;
  uint32_t reserved = 0;
  std::vector<LocalizedToken> tokens;
  std::unordered_map<std::string, uint32_t> token_names;  // lower-cased
};

// A name written in the source: its bytes and dictionary index.
struct AsmName {
  std::string bytes;
  uint32_t id;
};

class AsmState {
 public:
  AsmState(std::string_view file_name, std::vector<std::string>* errors);

  void Line(int number, std::string_view text);
  // Resolves references, builds and writes the file.
  bool Finish(std::string* output);

 private:
  // Token cursor of the current line.
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const AsmToken* Peek(size_t ahead = 0) const {
    return pos_ + ahead < tokens_.size() ? &tokens_[pos_ + ahead] : nullptr;
  }
  bool PeekIs(AsmToken::Kind kind, size_t ahead = 0) const {
    const AsmToken* t = Peek(ahead);
    return t != nullptr && t->kind == kind;
  }
  bool Accept(AsmToken::Kind kind);
  bool Error(const std::string& message);
  bool ErrorAt(int line, const std::string& message);
  bool ExpectEnd();

  // Operand parsers; each reports its own error and returns false.
  bool ParseInt32(int32_t* value, const char* what);
  bool ParseUnsigned(uint64_t limit, uint64_t* value, const char* what);
  bool ParseDouble(double* value);
  bool ParseName(AsmName* name, const char* what);
  bool ParseString(uint32_t* id);
  // key=value options after the positional part of a directive.
  bool ParseOptions(std::map<std::string, const AsmToken*>* options,
                    const std::vector<std::string>& allowed);
  bool OptionValue(const std::map<std::string, const AsmToken*>& options, const char* key,
                   uint64_t limit, std::optional<uint64_t>* value);

  uint32_t Intern(std::string_view bytes);
  std::string_view NameOf(uint32_t id) const {
    return image_.dictionary.View(static_cast<int32_t>(id));
  }

  // Statements.
  void Instruction(const AsmToken& mnemonic);
  bool Operand(OperandRole role, uint32_t end, std::vector<uint8_t>* bytes, uint32_t at);
  void Directive(const AsmToken& directive);
  void DirectiveVariables(AsmVariables* table, bool allow_bits);
  void DirectiveFunctions();
  void DirectiveFunc();
  void DirectiveParam();
  void DirectiveSegment();
  void DirectiveLanguage();
  void DirectiveToken();
  void DirectiveLocEntry();
  void DirectiveInsn();
  void DirectiveBytes();
  void DirectiveSection();
  bool ParseParameterList(AsmFunction* f);

  // Code placement.
  AsmSegment& Code();
  void PrepareForCode();
  void CloseFunction();
  void EnsureSegment(uint32_t number);
  AsmVariables& LocalScope();
  AsmFunction* CurrentFunction() {
    return current_function_ < 0 ? nullptr : &functions_[current_function_];
  }
  int32_t FindFunction(std::string_view name) const;
  uint32_t DeclareFunction(const AsmName& name);
  uint32_t DeclareLanguage(const AsmName& name);

  // Finishing.
  bool ResolveFixups();
  bool Build();
  void BuildLayout(const AsmVariables& table, VariableHashLayout* layout);

  std::string file_name_;
  std::vector<std::string>* errors_;
  int line_ = 0;
  std::vector<AsmToken> tokens_;
  size_t pos_ = 0;

  ProgramImage image_;
  std::unordered_map<std::string, uint32_t> interned_;  // bytes -> first index
  uint32_t version_ = 0;
  uint64_t producer_[2] = {0, 0};

  AsmVariables system_;
  AsmVariables globals_;
  std::vector<AsmFunction> functions_;
  std::unordered_map<std::string, uint32_t> function_names_;  // lower-cased
  int function_bits_ = -1;
  int current_function_ = -1;
  bool function_has_body_ = false;
  bool function_own_segment_ = false;

  std::vector<AsmSegment> segments_;
  uint32_t current_segment_ = 0;
  uint32_t return_segment_ = 0;
  bool explicit_segments_ = false;
  int64_t start_ = 0;
  int start_line_ = 0;
  std::vector<AsmFixup> fixups_;

  std::vector<AsmLanguage> languages_;
  std::unordered_map<std::string, uint32_t> language_names_;  // lower-cased
  int language_bits_ = -1;
  std::vector<LocalizedEntry> loc_entries_;

  std::vector<std::pair<uint32_t, std::string>> raw_sections_;
};

}  // namespace orin

#endif  // ORIN_TOOLS_ASM_ASM_STATE_H_
