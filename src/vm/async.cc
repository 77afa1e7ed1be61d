// async A and asyncn A, B: start a ZtASYNCHRONOUS block on a task of its
// own. A is the length of the block; the caller jumps over it unless the
// application answers that the caller runs it itself.
#include <string>

#include "image/opcodes.h"
#include "util/ascii.h"
#include "vm/cloned_vm.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kAsyncTag = 75;

// Parses "system, global" into isolation flags; false with *bad naming the
// first item that is neither.
bool ParseIsolationFlags(std::string_view text, uint32_t* flags, std::string* bad) {
  *flags = 0;
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view item = TrimSpaceTabCrLf(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (item.empty()) continue;
    if (EqualsNoCase(item, "system")) {
      *flags |= kIsolateSystem;
    } else if (EqualsNoCase(item, "global")) {
      *flags |= kIsolateGlobal;
    } else {
      bad->assign(item);
      return false;
    }
  }
  return true;
}

const char* StartFailure(int32_t result) {
  switch (result) {
    case kAsyncUnsupported:
      return "Asynchronoust tasks are not supported";
    case kAsyncTooMany:
      return "Maximum number of asynchronous tasks exceeded";
    case kAsyncNested:
      return "Asynchronous tasks may not start additional asynchronous tasks";
    default:
      return "Unable to start asynchronous task";
  }
}

}  // namespace

void AsyncBegin(ZetoVM& machine, const TagInstruction& instruction) {
  int64_t after_block = int64_t{instruction.next} + instruction.a;
  std::string flags_text;
  if (instruction.opcode == kAsyncn) {
    if (instruction.b == 1) {
      if (!machine.PopText(&flags_text)) return;
    } else if (instruction.b != 0) {
      machine.FatalError("Invalid number of parameters to ASYNCN");
      return;
    }
  }
  if (machine.Aborted()) return;
  uint32_t flags = 0;
  std::string bad;
  if (!ParseIsolationFlags(flags_text, &flags, &bad)) {
    machine.RuntimeError(kAsyncTag, "Unsupported isolation flag \"" + bad + "\"");
    if (!machine.Aborted()) machine.Jump(after_block);
    return;
  }
  // Cleared before the task starts: afterwards the task may be using the
  // tables the error variable lives in.
  machine.ClearTagError(kAsyncTag);
  int32_t result = machine.application()->StartAsyncTask(&machine, flags);
  if (result == kAsyncRunInline) return;
  if (result != kAsyncStarted) machine.RuntimeError(kAsyncTag, StartFailure(result));
  if (!machine.Aborted()) machine.Jump(after_block);
}

}  // namespace orin
