#include "vm/tag_instructions.h"

#include <atomic>
#include <memory>

#include "image/opcodes.h"

namespace orin {

namespace {

// One slot per row of the instruction table, in table order.
std::atomic<TagInstructionHandler>* Handlers() {
  static auto* handlers = new std::atomic<TagInstructionHandler>[kInstructionCount]();
  return handlers;
}

int64_t Row(uint16_t opcode) {
  const OpcodeInfo* info = FindOpcode(opcode);
  return info == nullptr ? -1 : info - kInstructionTable;
}

}  // namespace

bool SetTagInstructionHandler(uint16_t opcode, TagInstructionHandler handler) {
  int64_t row = Row(opcode);
  if (row < 0) return false;
  Handlers()[row].store(handler, std::memory_order_release);
  return true;
}

TagInstructionHandler FindTagInstructionHandler(uint16_t opcode) {
  int64_t row = Row(opcode);
  return row < 0 ? nullptr : Handlers()[row].load(std::memory_order_acquire);
}

}  // namespace orin
