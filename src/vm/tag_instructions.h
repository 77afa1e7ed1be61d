// Tag instructions served by other subsystems (databases, import, mail,
// the HTTP client, commerce, tasks, ZtDO, localized texts, export).
//
// The machine's dispatch handles the core instructions itself. Any other
// instruction of the table goes to the handler registered here for its
// opcode; one without a handler stops the run with the fatal error
// "Instruction '<mnemonic>' is not supported by this server". A subsystem
// registers its handlers once at start-up, before any machine runs (the
// table is process-wide and read without locks afterwards).
#ifndef ORIN_VM_TAG_INSTRUCTIONS_H_
#define ORIN_VM_TAG_INSTRUCTIONS_H_

#include <cstdint>

namespace orin {

class ZetoVM;

// The instruction being executed. The machine's program counter already
// points at `next`; a handler that jumps calls ZetoVM::Jump.
struct TagInstruction {
  uint16_t opcode;
  int32_t a;       // operand A when it is an integer, else 0
  int32_t b;       // operand B when it is an integer, else 0
  uint32_t start;  // offset of the opcode word
  uint32_t next;   // offset just past the instruction
};

using TagInstructionHandler = void (*)(ZetoVM& machine, const TagInstruction& instruction);

// async and asyncn (vm/async.cc).
void AsyncBegin(ZetoVM& machine, const TagInstruction& instruction);

// Registers (or with null removes) the handler of an opcode of the
// instruction table. False for an opcode not in the table.
bool SetTagInstructionHandler(uint16_t opcode, TagInstructionHandler handler);
// The handler of an opcode, or null.
TagInstructionHandler FindTagInstructionHandler(uint16_t opcode);

}  // namespace orin

#endif  // ORIN_VM_TAG_INSTRUCTIONS_H_
