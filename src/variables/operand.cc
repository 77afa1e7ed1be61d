// Operand conversions, comparison, release and assignment.
#include "variables/operand.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "variables/link_buffer.h"
#include "variables/variable.h"

namespace orin {

void ReleaseOperand(Operand* op) {
  if (!IsOwned(*op)) return;
  op->flags &= static_cast<uint8_t>(~kOperandOwned);
  switch (op->kind) {
    case OperandKind::kNumber:
      mpd_del(op->value.number);
      break;
    case OperandKind::kString:
      std::free(op->value.string);
      break;
    case OperandKind::kVariable:
      op->value.variable->Release();
      break;
    case OperandKind::kLinkBuffer:
      delete op->value.buffer;
      break;
    case OperandKind::kInteger:
      break;
  }
}

void AssignOperand(Variable* target, Operand value) {
  bool owned = IsOwned(value);
  switch (value.kind) {
    case OperandKind::kInteger:
      target->SetValue_Integer(value.value.integer);
      return;
    case OperandKind::kNumber:
      if (owned) {
        target->SetValue_Decimal(value.value.number);
      } else {
        target->SetValue_DecimalCopy(value.value.number);
      }
      return;
    case OperandKind::kString:
      if (owned) {
        target->SetValue_Nocopy(value.value.string, value.length, value.size);
      } else {
        target->SetValue(value.value.string, value.length);
      }
      return;
    case OperandKind::kVariable:
      target->SetValue_Variable(value.value.variable);
      break;
    case OperandKind::kLinkBuffer:
      if (owned) {
        uint32_t n, capacity;
        char* bytes = value.value.buffer->Release(&n, &capacity, 1);
        // Concatenation blocks come in 512-byte units: give a short text
        // back its slack rather than keep it for the variable's lifetime.
        if (capacity > n + n / 2 + 64) {
          if (char* shrunk = static_cast<char*>(std::realloc(bytes, n + 1))) {
            bytes = shrunk;
            capacity = n + 1;
          }
        }
        target->SetValue_Nocopy(bytes, n, capacity);
      } else {
        uint32_t n;
        const char* bytes = value.value.buffer->Data(&n);
        target->SetValue(bytes, n);
      }
      break;
  }
  ReleaseOperand(&value);
}

int32_t OperandInteger(const Operand& op) {
  bool error;
  switch (op.kind) {
    case OperandKind::kInteger:
      return op.value.integer;
    case OperandKind::kNumber:
      return IntegerFromDecimal(op.value.number);
    case OperandKind::kString: {
      int32_t v = IntegerFromText(op.value.string, op.length, &error);
      return error ? 0 : v;
    }
    case OperandKind::kLinkBuffer: {
      uint32_t n;
      const char* bytes = op.value.buffer->Data(&n);
      int32_t v = IntegerFromText(bytes, n, &error);
      return error ? 0 : v;
    }
    case OperandKind::kVariable:
      return op.value.variable->Value_Integer();
  }
  return 0;
}

bool OperandIsInteger(const Operand& op, int32_t* out) {
  switch (op.kind) {
    case OperandKind::kInteger:
      *out = op.value.integer;
      return true;
    case OperandKind::kNumber:
      return DecimalIsInt32(op.value.number, out);
    case OperandKind::kVariable: {
      Variable* v = op.value.variable;
      if (v->PeekInteger(out)) return true;
      switch (v->ScalarType()) {
        case kTypeInteger:
          *out = v->Value_Integer();
          return true;
        case kTypeDecimal:
          return DecimalIsInt32(v->Value_Decimal(), out);
        default:
          return false;
      }
    }
    default:
      return false;
  }
}

const mpd_t* OperandDecimal(const Operand& op, ScratchDecimal* scratch) {
  bool error;
  switch (op.kind) {
    case OperandKind::kInteger:
      return DecimalFromInteger(scratch->get(), op.value.integer);
    case OperandKind::kNumber:
      return op.value.number;
    case OperandKind::kString:
      return DecimalFromText(scratch->get(), op.value.string, op.length, &error);
    case OperandKind::kLinkBuffer: {
      uint32_t n;
      const char* bytes = op.value.buffer->Data(&n);
      return DecimalFromText(scratch->get(), bytes, n, &error);
    }
    case OperandKind::kVariable:
      return op.value.variable->Value_Decimal();
  }
  return DecimalZero();
}

bool OperandTruth(const Operand& op) {
  switch (op.kind) {
    case OperandKind::kInteger:
      return op.value.integer != 0;
    case OperandKind::kNumber:
      return !mpd_iszero(op.value.number);
    case OperandKind::kVariable:
      return op.value.variable->IsTrue();
    default: {
      OperandText text(op);
      return TextIsTrue(text.data(), text.size());
    }
  }
}

bool OperandIsEmpty(const Operand& op) {
  switch (op.kind) {
    case OperandKind::kString:
      return op.length == 0;
    case OperandKind::kLinkBuffer:
      return op.value.buffer->empty();
    case OperandKind::kVariable:
      return op.value.variable->IsNULL();
    default:
      return false;
  }
}

OperandText::OperandText(const Operand& op) {
  switch (op.kind) {
    case OperandKind::kInteger:
      size_ = FormatInteger(op.value.integer, small_);
      data_ = small_;
      break;
    case OperandKind::kNumber:
      heap_ = TextFromDecimal(op.value.number, &size_, nullptr);
      data_ = heap_;
      break;
    case OperandKind::kString:
      data_ = op.value.string != nullptr ? op.value.string : "";
      size_ = op.length;
      break;
    case OperandKind::kLinkBuffer:
      data_ = op.value.buffer->Data(&size_);
      break;
    case OperandKind::kVariable: {
      const ByteString& text = op.value.variable->Value();
      data_ = text.data();
      size_ = text.size();
      break;
    }
    default:
      data_ = "";
      size_ = 0;
  }
}

OperandText::~OperandText() {
  std::free(heap_);
}

namespace {

// The decimal of an operand with the not-a-number flag of comparisons:
// texts and link buffers that do not parse are flagged.
const mpd_t* CheckedDecimal(const Operand& op, ScratchDecimal* scratch, bool* not_number) {
  *not_number = false;
  switch (op.kind) {
    case OperandKind::kString:
      return DecimalFromText(scratch->get(), op.value.string, op.length, not_number);
    case OperandKind::kLinkBuffer: {
      uint32_t n;
      const char* bytes = op.value.buffer->Data(&n);
      return DecimalFromText(scratch->get(), bytes, n, not_number);
    }
    case OperandKind::kVariable:
      return op.value.variable->Value_Decimal_Checked(not_number);
    default:
      return OperandDecimal(op, scratch);
  }
}

int32_t CompareTexts(const Operand& a, const Operand& b) {
  OperandText ta(a);
  OperandText tb(b);
  size_t n = ta.size() < tb.size() ? ta.size() : tb.size();
  int c = n == 0 ? 0 : std::memcmp(ta.data(), tb.data(), n);  // unsigned bytes
  if (c != 0) return c < 0 ? -1 : 1;
  if (ta.size() == tb.size()) return 0;
  return ta.size() < tb.size() ? -1 : 1;
}

}  // namespace

int32_t CompareValues(const Operand& a, const Operand& b) {
  int32_t x, y;
  if (OperandIsInteger(a, &x) && OperandIsInteger(b, &y)) return x < y ? -1 : (x > y ? 1 : 0);
  ScratchDecimal sa, sb;
  bool na, nb;
  const mpd_t* da = CheckedDecimal(a, &sa, &na);
  if (!na) {
    const mpd_t* db = CheckedDecimal(b, &sb, &nb);
    if (!nb) {
      ScratchDecimal result;
      uint32_t status = 0;
      int c = mpd_qcompare(result.get(), da, db, DecimalContext(), &status);
      CheckDecimalStatus(status);
      return c == INT_MAX ? INT32_MAX : c;
    }
  }
  return CompareTexts(a, b);
}

int32_t CompareVariables(Variable* a, Variable* b) {
  return CompareValues(VariableOperand(a, false), VariableOperand(b, false));
}

int32_t CompareVariableInteger(Variable* a, int32_t b) {
  return CompareValues(VariableOperand(a, false), IntegerOperand(b));
}

}  // namespace orin
