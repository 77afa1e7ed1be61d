#include "image/opcodes.h"

#include <algorithm>

#include "image/byte_order.h"
#include "util/ascii.h"

namespace orin {

const OpcodeInfo kInstructionTable[] = {
#define ORIN_OPCODE_INFO(name, mnemonic, opcode, a, b) \
  {opcode, mnemonic, OperandRole::a, OperandRole::b},
    ORIN_INSTRUCTIONS(ORIN_OPCODE_INFO)
#undef ORIN_OPCODE_INFO
};
const uint32_t kInstructionCount = sizeof kInstructionTable / sizeof kInstructionTable[0];

namespace {

// The roles must agree with the kind bits of each opcode.
constexpr bool RolesMatchKinds() {
  constexpr struct {
    uint16_t opcode;
    OperandRole a, b;
  } table[] = {
#define ORIN_OPCODE_CHECK(name, mnemonic, opcode, a, b) {opcode, OperandRole::a, OperandRole::b},
      ORIN_INSTRUCTIONS(ORIN_OPCODE_CHECK)
#undef ORIN_OPCODE_CHECK
  };
  uint16_t previous = 0;
  bool first = true;
  for (const auto& t : table) {
    if (!first && t.opcode <= previous) return false;  // sorted, no duplicates
    first = false;
    previous = t.opcode;
    bool a_none = (t.opcode & kOperandAMask) == 0;
    bool a_double = (t.opcode & kOperandAMask) == kOperandADouble;
    if (a_none != (t.a == OperandRole::kNone)) return false;
    if (a_double != (t.a == OperandRole::kDouble)) return false;
    if (((t.opcode & kOperandBMask) == 0) != (t.b == OperandRole::kNone)) return false;
    if (((t.opcode & kOperandBMask) == kOperandBDouble) != (t.b == OperandRole::kDouble)) {
      return false;
    }
  }
  return true;
}
static_assert(RolesMatchKinds(), "instruction list out of order or roles disagree with kinds");

}  // namespace

const OpcodeInfo* FindOpcode(uint16_t opcode) {
  const OpcodeInfo* end = kInstructionTable + kInstructionCount;
  const OpcodeInfo* it =
      std::lower_bound(kInstructionTable, end, opcode,
                       [](const OpcodeInfo& info, uint16_t op) { return info.opcode < op; });
  return it != end && it->opcode == opcode ? it : nullptr;
}

const OpcodeInfo* FindMnemonic(std::string_view mnemonic) {
  for (uint32_t i = 0; i < kInstructionCount; ++i) {
    if (EqualsNoCase(kInstructionTable[i].mnemonic, mnemonic)) return &kInstructionTable[i];
  }
  return nullptr;
}

bool DecodeInstruction(const uint8_t* code, uint32_t length, uint32_t pc, Instruction* out) {
  if (pc >= length || length - pc < 2) return false;
  uint16_t op = GetLE16(code + pc);
  uint32_t a = OperandABytes(op), b = OperandBBytes(op);
  if (length - pc - 2 < a + b) return false;
  out->pc = pc;
  out->length = 2 + a + b;
  out->opcode = op;
  out->info = FindOpcode(op);
  out->a_int = out->b_int = 0;
  out->a_double = out->b_double = 0;
  const uint8_t* p = code + pc + 2;
  if (a == 4) out->a_int = static_cast<int32_t>(GetLE32(p));
  if (a == 8) out->a_double = GetLEDouble(p);
  p += a;
  if (b == 4) out->b_int = static_cast<int32_t>(GetLE32(p));
  if (b == 8) out->b_double = GetLEDouble(p);
  return true;
}

}  // namespace orin
