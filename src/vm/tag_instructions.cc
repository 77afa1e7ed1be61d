#include "vm/tag_instructions.h"

#include <atomic>
#include <memory>
#include <utility>

#include "image/opcodes.h"
#include "vm/do_context.h"
#include "vm/import.h"
#include "vm/localized_text.h"

namespace orin {

namespace {

int64_t Row(uint16_t opcode) {
  const OpcodeInfo* info = FindOpcode(opcode);
  return info == nullptr ? -1 : info - kInstructionTable;
}

// One slot per row of the instruction table, in table order. The
// machine's own out-of-line instructions are there from the start.
std::atomic<TagInstructionHandler>* Handlers() {
  static auto* handlers = [] {
    auto* table = new std::atomic<TagInstructionHandler>[kInstructionCount]();
    const std::pair<uint16_t, TagInstructionHandler> builtin[] = {
        {kPoplvnc, PopLocalizeParameter},
        {kLocalize, LocalizeToOutput},
        {kLocalizev, LocalizeToStack},
        {kOpDoFile, DoFile},
        {kOpDoFunction, DoFunction},
        {kImport, ImportBegin},
        {kImportf, ImportBegin},
        {kImportLoop, ImportLoop},
        {kImportStop, ImportStop},
        {kExport, ExportRecord},
        {kAsync, AsyncBegin},
        {kAsyncn, AsyncBegin},
    };
    for (const auto& [opcode, handler] : builtin)
      table[Row(opcode)].store(handler, std::memory_order_relaxed);
    return table;
  }();
  return handlers;
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
