#include "vm/vm_stack.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "variables/variable.h"

namespace orin {

namespace {

constexpr int kDataWidth = 50;

const char* KindName(OperandKind kind) {
  switch (kind) {
    case OperandKind::kInteger:
      return "Integer";
    case OperandKind::kNumber:
      return "mpd";
    case OperandKind::kString:
      return "String";
    case OperandKind::kVariable:
      return "Variable";
    case OperandKind::kLinkBuffer:
      return "LinkBuffer";
  }
  return "?";
}

int Shown(uint32_t length, int room) {
  return static_cast<int>(std::min<uint32_t>(length, static_cast<uint32_t>(std::max(room, 0))));
}

}  // namespace

void ZetoVM_Stack::Clear() {
  while (count_ > 0)
    ReleaseOperand(&entries_[--count_]);
}

void ZetoVM_Stack::Dump(std::FILE* out) {
  std::fprintf(out, "SP = %d, SS = %d\n", static_cast<int>(count_), static_cast<int>(kCapacity));
  std::fprintf(out, "#   Type       D Data                                               Size\n");
  for (uint32_t i = 0; i < count_; ++i) {
    Operand& op = entries_[i];
    int row = static_cast<int>(i);
    const char* kind = KindName(op.kind);
    char owned = IsOwned(op) ? 'Y' : 'n';
    int length = static_cast<int>(op.length), size = static_cast<int>(op.size);
    if (op.kind == OperandKind::kInteger) {
      std::fprintf(out, "%-3d %-10s %c %-50d %d %d\n", row, kind, owned, op.value.integer, length,
                   size);
    } else if (op.kind == OperandKind::kVariable) {
      Variable* v = op.value.variable;
      const ByteString& name = v->Name();
      const ByteString& value = v->Value();
      char address[32];
      int used = std::snprintf(address, sizeof address, "%lx",
                               static_cast<unsigned long>(reinterpret_cast<uintptr_t>(v)));
      int name_shown = Shown(name.size(), kDataWidth - used - 2);
      int value_shown = Shown(value.size(), kDataWidth - used - 2 - name_shown);
      int pad = std::max(0, kDataWidth - used - 2 - name_shown - value_shown);
      std::fprintf(out, "%-3d %-10s %c %s %.*s=%.*s%*s %d %d\n", row, kind, owned, address,
                   name_shown, name.data(), value_shown, value.data(), pad, "", length, size);
    } else {
      OperandText text(op);
      int shown = Shown(text.size(), kDataWidth);
      std::fprintf(out, "%-3d %-10s %c %.*s%*s %d %d\n", row, kind, owned, shown, text.data(),
                   kDataWidth - shown, "", length, size);
    }
  }
  std::fprintf(out, "\n");
}

}  // namespace orin
