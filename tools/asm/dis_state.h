// Internal state of one disassembly.
#ifndef ORIN_TOOLS_ASM_DIS_STATE_H_
#define ORIN_TOOLS_ASM_DIS_STATE_H_

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "image/opcodes.h"
#include "image/program_image.h"

namespace orin {

class DisState {
 public:
  DisState(TaggedFile& file, std::string* out) : file_(file), out_(*out) {}
  bool Run();

 private:
  // Loading, each section on its own so one damaged section hides nothing else.
  void Load();
  bool Loaded(const char* id) const;
  std::string ProblemOf(const char* id) const;
  void Problem(const char* id, const std::string& message);

  // Output helpers.
  void Put(const std::string& line) { out_ += line + "\n"; }
  void Comment(const std::string& text) { Put("; " + text); }
  void HexDump(uint32_t id, int64_t offset, uint32_t size);
  // A dictionary string as the assembler reads it back to the same index.
  std::string StringRef(uint32_t id) const;
  std::string NameRef(uint32_t id) const;
  bool IsFirstIndex(uint32_t id) const;
  std::string_view Text(uint32_t id) const {
    return image_.dictionary.View(static_cast<int32_t>(id));
  }

  // Sections.
  void Header();
  void Dictionary();
  void Variables(const char* directive, const char* id, const VariableHashLayout& layout);
  void Localized();
  bool CanonicalTokens(std::vector<std::pair<uint32_t, uint32_t>>* order);
  void Functions();
  std::string FunctionHeader(const Function& f, bool located);
  void Segments();
  void Segment(uint32_t number);
  std::string Operand(OperandRole role, const Instruction& in, bool second,
                      const std::set<uint32_t>& boundaries, const Function* scope,
                      std::string* note);
  void RawSections();

  // Whether a layout's chains are the ones the assembler would build.
  bool CanonicalChains(const NameChains& chains, const std::vector<std::string_view>& names);
  // Empty when the chains are ztasm's; otherwise comment lines showing them.
  std::string ChainNote(const NameChains& chains, const std::vector<std::string_view>& names,
                        const std::string& what);
  std::string SlotRef(const VariableHashLayout& layout, int32_t slot, std::string* note) const;
  std::string FunctionRef(int32_t number, std::string* note) const;

  TaggedFile& file_;
  std::string& out_;
  ProgramImage image_;
  std::vector<std::pair<std::string, std::string>> problems_;  // section, message
  std::unordered_map<std::string, uint32_t> first_index_;
  std::set<uint32_t> known_sections_;
  // Functions printed inline in their segment, by segment.
  std::unordered_map<uint32_t, std::vector<uint32_t>> inline_functions_;
  // First slot of each lower-cased name, per layout; first function likewise.
  mutable std::unordered_map<const VariableHashLayout*, std::unordered_map<std::string, uint32_t>>
      first_slots_;
  std::unordered_map<std::string, uint32_t> first_functions_;
};

std::string FormatDouble(double d);
std::string Hex(uint64_t v);

}  // namespace orin

#endif  // ORIN_TOOLS_ASM_DIS_STATE_H_
