// Functions and segments of a disassembly.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "asm/asm_lexer.h"
#include "asm/dis_state.h"
#include "image/byte_order.h"
#include "util/ascii.h"

namespace orin {

namespace {

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
    {"external", Function::kExternal},       {"private", Function::kPrivate},
    {"collapse", Function::kCollapseOutput}, {"showerrors", Function::kShowErrors},
    {"hideerrors", Function::kHideErrors},   {"compress", Function::kCompressOutput},
};

// Offsets where instructions start, the start of undecodable trailing bytes
// and the end of the code.
std::set<uint32_t> Decode(const Segment& s, std::vector<Instruction>* code, uint32_t* tail) {
  std::set<uint32_t> boundaries;
  uint32_t pc = 0;
  Instruction in;
  while (pc < s.length() && DecodeInstruction(s.code(), s.length(), pc, &in)) {
    code->push_back(in);
    boundaries.insert(pc);
    pc = in.next();
  }
  *tail = pc;
  boundaries.insert(pc);
  boundaries.insert(s.length());
  return boundaries;
}

}  // namespace

std::string FormatDouble(double d) {
  if (std::isnan(d)) return "raw(" + Hex(DoubleBits(d)) + ")";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  char buf[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (DoubleBits(std::strtod(buf, nullptr)) == DoubleBits(d)) break;
  }
  return buf;
}

std::string DisState::SlotRef(const VariableHashLayout& layout, int32_t slot,
                              std::string* note) const {
  if (slot < 0 || static_cast<uint32_t>(slot) >= layout.Count()) {
    *note = "no such slot";
    return std::to_string(slot);
  }
  auto& firsts = first_slots_[&layout];
  if (firsts.empty()) {
    for (uint32_t e = 0; e < layout.Count(); ++e)
      firsts.emplace(Lower(Text(layout.NameId(e))), e);
  }
  uint32_t id = layout.NameId(static_cast<uint32_t>(slot));
  std::string_view name = Text(id);
  // The assembler resolves a name to its first slot, ignoring letter case.
  if (image_.dictionary.Has(id) && firsts[Lower(name)] == static_cast<uint32_t>(slot)) {
    return NameForm(name);
  }
  *note = image_.dictionary.Has(id) ? "slot named " + QuoteBytes(name) : "slot without a name";
  return std::to_string(slot);
}

std::string DisState::FunctionRef(int32_t number, std::string* note) const {
  const Function* f = image_.functions.Get(number);
  if (f == nullptr) {
    *note = "no such function";
    return std::to_string(number);
  }
  auto it = first_functions_.find(Lower(f->name()));
  if (it != first_functions_.end() && it->second == static_cast<uint32_t>(number)) {
    return NameForm(f->name());
  }
  *note = "function " + QuoteBytes(f->name());
  return std::to_string(number);
}

std::string DisState::FunctionHeader(const Function& f, bool located) {
  const VariableHashLayout& locals = f.locals();
  const auto& params = f.parameters();
  bool canonical = true;
  std::set<std::string> seen;
  for (uint32_t i = 0; i < params.size(); ++i) {
    const FunctionParameter& p = params[i];
    canonical =
        canonical && p.local_index == i && i < locals.Count() && locals.NameId(i) == p.name_id &&
        (p.flags & ~FunctionParameter::kByReference) == 0 && seen.insert(Lower(p.name)).second;
  }
  std::string text = ".func " + NameRef(f.name_id());
  if (canonical && !params.empty()) {
    text += "(";
    for (size_t i = 0; i < params.size(); ++i) {
      if (i > 0) text += ", ";
      text += (params[i].by_reference() ? "&" : "") + NameRef(params[i].name_id);
    }
    text += ")";
  }
  uint32_t rest = f.flags();
  for (const FlagWord& w : kFunctionWords) {
    if (f.flags() & w.flag) {
      text += std::string(" ") + w.word;
      rest &= ~w.flag;
    }
  }
  if (rest != 0) text += " flags=" + Hex(rest);
  if (locals.bits() != DefaultHashBits(locals.Count())) {
    text += " bits=" + std::to_string(locals.bits());
  }
  bool default_place =
      f.external() && f.segment() == Function::kNoBody && f.offset() == Function::kNoBody;
  if (located && !default_place) {
    text += " segment=" + Hex(f.segment()) + " offset=" + Hex(f.offset());
  }
  text += "  ; function " + std::to_string(f.number()) + "\n";

  std::vector<std::string_view> names;
  std::set<std::string> distinct;
  bool unique = true;
  for (uint32_t e = 0; e < locals.Count(); ++e) {
    names.push_back(Text(locals.NameId(e)));
    unique = distinct.insert(Lower(names.back())).second && unique;
    if (!canonical || e >= params.size()) {
      text += ".local " + NameRef(locals.NameId(e)) + "  ; slot " + std::to_string(e) + "\n";
    }
  }
  if (!canonical) {
    for (const FunctionParameter& p : params) {
      text += ".param " + NameRef(p.name_id) + (p.by_reference() ? " byref" : "");
      if (p.flags & ~FunctionParameter::kByReference) {
        text += " flags=" + Hex(p.flags & ~FunctionParameter::kByReference);
      }
      text += " slot=" + std::to_string(p.local_index) + "\n";
    }
  }
  if (!unique) text += "; note: two locals share a name; ztasm would merge them\n";
  text += ChainNote(locals.chains(), names, "the locals");
  return text;
}

void DisState::Functions() {
  Put("");
  if (!Loaded("func")) return;
  const FunctionManager& fm = image_.functions;
  Comment("functions: " + std::to_string(fm.Count()) + " in " +
          std::to_string(fm.chains().bucket_count()) + " buckets");
  if (fm.chains().bits() != DefaultHashBits(fm.Count())) {
    Put(".functions bits=" + std::to_string(fm.chains().bits()));
  }
  std::vector<std::string_view> names;
  for (uint32_t i = 0; i < fm.Count(); ++i) {
    const Function* f = fm.Get(i);
    names.push_back(f->name());
    bool first = first_functions_.emplace(Lower(f->name()), i).second;
    Put(".functions " + NameRef(f->name_id()) + "  ; function " + std::to_string(i) +
        (first ? "" : " (same name as an earlier function)"));
  }
  out_ += ChainNote(fm.chains(), names, "the functions");
  // Bodies that start on an instruction of a readable segment are printed
  // there; the rest are declared with their place.
  std::vector<const Function*> located;
  std::unordered_map<uint32_t, std::set<uint32_t>> boundaries;  // decoded once per segment
  for (uint32_t i = 0; i < fm.Count(); ++i) {
    const Function* f = fm.Get(i);
    const orin::Segment* s = Loaded("segs") ? image_.segments.Get(f->segment()) : nullptr;
    bool placed = false;
    if (!f->external() && s != nullptr) {
      auto it = boundaries.find(f->segment());
      if (it == boundaries.end()) {
        std::vector<Instruction> code;
        uint32_t tail;
        it = boundaries.emplace(f->segment(), Decode(*s, &code, &tail)).first;
      }
      placed = it->second.count(f->offset()) > 0;
    }
    if (placed) {
      inline_functions_[f->segment()].push_back(i);
    } else {
      located.push_back(f);
    }
  }
  for (const Function* f : located)
    out_ += FunctionHeader(*f, true);
}

std::string DisState::Operand(OperandRole role, const Instruction& in, bool second,
                              const std::set<uint32_t>& boundaries, const Function* scope,
                              std::string* note) {
  int32_t v = second ? in.b_int : in.a_int;
  switch (role) {
    case OperandRole::kNone:
      return std::string();
    case OperandRole::kInt:
      return std::to_string(v);
    case OperandRole::kDouble:
      return FormatDouble(second ? in.b_double : in.a_double);
    case OperandRole::kString: {
      auto id = static_cast<uint32_t>(v);
      if (IsFirstIndex(id)) return QuoteBytes(Text(id));
      *note = image_.dictionary.Has(id) ? QuoteBytes(Text(id)) : "not in the dictionary";
      return "@" + std::to_string(id);
    }
    case OperandRole::kSystem:
      return SlotRef(image_.system_variables, v, note);
    case OperandRole::kGlobal:
      return SlotRef(image_.global_variables, v, note);
    case OperandRole::kLocal:
      return SlotRef(scope != nullptr ? scope->locals() : image_.global_variables, v, note);
    case OperandRole::kTarget: {
      int64_t target = static_cast<int64_t>(in.next()) + v;
      if (target >= 0 && boundaries.count(static_cast<uint32_t>(target))) {
        return "L" + std::to_string(target);
      }
      return std::to_string(v);
    }
    case OperandRole::kFunction:
      return FunctionRef(v, note);
  }
  return std::string();
}

void DisState::Segments() {
  Put("");
  if (!Loaded("segs")) return;
  Put(".start " + std::to_string(image_.segments.start()));
  for (uint32_t i = 0; i < image_.segments.Count(); ++i)
    Segment(i);
}

void DisState::Segment(uint32_t number) {
  const orin::Segment* s = image_.segments.Get(number);
  Put("");
  Comment("segment " + std::to_string(number) + ": " + std::to_string(s ? s->length() : 0) +
          " bytes");
  Put(".segment " + std::to_string(number));
  if (s == nullptr) return;
  std::vector<Instruction> code;
  uint32_t tail = 0;
  std::set<uint32_t> boundaries = Decode(*s, &code, &tail);
  std::set<uint32_t> labels;
  for (const Instruction& in : code) {
    if (in.info == nullptr) continue;
    if (in.info->a == OperandRole::kTarget) {
      int64_t t = static_cast<int64_t>(in.next()) + in.a_int;
      if (t >= 0 && boundaries.count(static_cast<uint32_t>(t)))
        labels.insert(static_cast<uint32_t>(t));
    }
  }
  std::map<uint32_t, std::vector<uint32_t>> functions;
  for (uint32_t f : inline_functions_[number]) {
    functions[image_.functions.Get(f)->offset()].push_back(f);
  }
  const Function* scope = nullptr;
  auto mark = [&](uint32_t pc) {
    for (uint32_t f : functions[pc]) {
      scope = image_.functions.Get(f);
      out_ += FunctionHeader(*scope, false);
    }
    if (labels.count(pc)) Put("L" + std::to_string(pc) + ":");
  };
  for (const Instruction& in : code) {
    mark(in.pc);
    std::string line = "        ", note;
    if (in.info != nullptr) {
      line += in.info->mnemonic;
      OperandRole roles[2] = {in.info->a, in.info->b};
      for (int i = 0; i < 2; ++i) {
        if (roles[i] == OperandRole::kNone) continue;
        std::string n;
        line += (i == 0 ? " " : ", ") + Operand(roles[i], in, i == 1, boundaries, scope, &n);
        if (!n.empty()) note += (note.empty() ? "" : "; ") + n;
      }
    } else {
      line += ".insn " + Hex(in.opcode);
      if (OperandABytes(in.opcode) == 4) line += " " + std::to_string(in.a_int);
      if (OperandABytes(in.opcode) == 8) line += " " + FormatDouble(in.a_double);
      if (OperandBBytes(in.opcode) == 4) line += ", " + std::to_string(in.b_int);
      if (OperandBBytes(in.opcode) == 8) line += ", " + FormatDouble(in.b_double);
      note = "not an instruction of this machine";
    }
    Put(note.empty() ? line : line + "  ; " + note);
  }
  if (tail < s->length()) {
    mark(tail);
    for (uint32_t i = tail; i < s->length(); i += 16) {
      std::string line = "        .bytes";
      for (uint32_t j = i; j < s->length() && j < i + 16; ++j) {
        char buf[8];
        std::snprintf(buf, sizeof buf, " 0x%02X", s->code()[j]);
        line += buf;
      }
      Put(line + (i == tail ? "  ; an instruction cut short" : ""));
    }
  }
  mark(s->length());
}

}  // namespace orin
