// Operand: one entry of the machine's operand stack, and the expression
// operators the machine applies to operands.
//
// An operand is a plain value (copied freely, like a Lua TValue) whose
// ownership is a convention, not RAII: the owned flag says whether the entry
// owns what it points at.
//
//   kind        value                      owned means
//   kInteger    32-bit integer             -
//   kNumber     mpd_t*                     mpd_del when done
//   kString     bytes, length, capacity    free when done (malloc'ed)
//   kVariable   Variable*                  holds one reference: Release
//   kLinkBuffer LinkBuffer*                delete when done
//
// Unowned strings (dictionary constants) and variables (scope entries) are
// borrowed from something that outlives the operand.
//
// Every operator CONSUMES its operands: it releases what they own, or reuses
// it for the result, and returns a new operand that the caller (the machine:
// pop right, pop left, call, push) owns. So after `r = OpAdd(l, r0)` only `r`
// needs releasing. ReleaseOperand frees an operand the machine discards;
// AssignOperand consumes one into a variable ("pop value into variable").
// Results never alias an unowned operand, except that OpCat may return an
// owned link buffer operand it was given, extended in place.
//
// Conversions follow the value rules: integer conversion takes an integer as
// is, a decimal truncated, a variable's Value_Integer, and a text or link
// buffer through the integer text parser alone (so the literal text '1.5' is
// 0 while a variable holding '1.5' is 1); decimal conversion parses texts
// (errors give 0); text conversion formats numbers; truth follows the text
// rule for texts and IsTrue for variables.
//
// Integers stay integers without allocation: the integer fast paths of + and
// - are inline below, and integer results never touch the heap.
#ifndef ORIN_VARIABLES_OPERAND_H_
#define ORIN_VARIABLES_OPERAND_H_

#include <mpdecimal.h>

#include <cstdint>
#include <string_view>

#include "util/check.h"
#include "variables/decimal.h"

namespace orin {

class Crypt;
class LinkBuffer;
class Variable;

enum class OperandKind : uint32_t {
  kInteger = 0,
  kNumber = 1,
  kString = 2,
  kVariable = 3,
  kLinkBuffer = 4,
};

constexpr uint8_t kOperandOwned = 1;

struct Operand {
  OperandKind kind;
  uint8_t flags;
  union {
    int32_t integer;
    mpd_t* number;
    char* string;
    Variable* variable;
    LinkBuffer* buffer;
  } value;
  uint32_t length;  // bytes of a string; 4 for an integer
  uint32_t size;    // capacity of a string's buffer; 4 for an integer
};

inline bool IsOwned(const Operand& op) {
  return (op.flags & kOperandOwned) != 0;
}

inline Operand MakeOperand(OperandKind kind, bool owned, uint32_t length, uint32_t size) {
  Operand op;
  op.kind = kind;
  op.flags = owned ? kOperandOwned : 0;
  op.value.number = nullptr;
  op.length = length;
  op.size = size;
  return op;
}

inline Operand IntegerOperand(int32_t v) {
  Operand op = MakeOperand(OperandKind::kInteger, false, 4, 4);
  op.value.integer = v;
  return op;
}

inline Operand NumberOperand(mpd_t* d, bool owned) {
  Operand op = MakeOperand(OperandKind::kNumber, owned, 0, 0);
  op.value.number = d;
  return op;
}

// An owned string must be malloc'ed with `capacity` bytes.
inline Operand StringOperand(const char* bytes, uint32_t length, uint32_t capacity, bool owned) {
  ORIN_ASSERT(!owned || (bytes != nullptr && capacity >= length));
  Operand op = MakeOperand(OperandKind::kString, owned, length, capacity);
  op.value.string = const_cast<char*>(bytes);
  return op;
}

inline Operand VariableOperand(Variable* v, bool owned) {
  ORIN_ASSERT(!owned || v != nullptr);
  Operand op = MakeOperand(OperandKind::kVariable, owned, 0, 0);
  op.value.variable = v;
  return op;
}

inline Operand BufferOperand(LinkBuffer* b, bool owned) {
  Operand op = MakeOperand(OperandKind::kLinkBuffer, owned, 0, 0);
  op.value.buffer = b;
  return op;
}

// Frees what the operand owns; it is then unowned.
void ReleaseOperand(Operand* op);

// Assigns the value to `target` (taking over owned strings, numbers and
// buffers without a copy) and consumes the operand.
void AssignOperand(Variable* target, Operand value);

// --- Conversions (the operand is not consumed) ---

int32_t OperandInteger(const Operand& op);
// True with the value when the operand counts as an integer for + - and the
// comparisons: an integer, a decimal holding a 32-bit integer, a variable of
// integer type or of decimal type holding one.
bool OperandIsInteger(const Operand& op, int32_t* out);
// The decimal: an operand's own number, a variable's decimal, or the
// conversion written into `scratch`.
const mpd_t* OperandDecimal(const Operand& op, ScratchDecimal* scratch);
bool OperandTruth(const Operand& op);
bool OperandIsEmpty(const Operand& op);

// The text of an operand, valid while the operand (and, for a variable,
// the variable) is unchanged.
class OperandText {
 public:
  explicit OperandText(const Operand& op);
  ~OperandText();
  OperandText(const OperandText&) = delete;
  OperandText& operator=(const OperandText&) = delete;
  const char* data() const { return data_; }
  uint32_t size() const { return size_; }
  std::string_view view() const { return std::string_view(data_, size_); }

 private:
  const char* data_;
  uint32_t size_;
  char* heap_ = nullptr;
  char small_[16];
};

// Order of two values: negative, 0 or positive; NaN against anything gives
// INT32_MAX (greater and unequal).
int32_t CompareValues(const Operand& a, const Operand& b);

// --- Operators (consume their operands) ---

Operand AddSlow(Operand left, Operand right);
Operand SubSlow(Operand left, Operand right);

inline Operand OpAdd(Operand left, Operand right) {
  int32_t sum;
  if (left.kind == OperandKind::kInteger && right.kind == OperandKind::kInteger &&
      !__builtin_add_overflow(left.value.integer, right.value.integer, &sum)) {
    return IntegerOperand(sum);
  }
  return AddSlow(left, right);
}

inline Operand OpSub(Operand left, Operand right) {
  int32_t difference;
  if (left.kind == OperandKind::kInteger && right.kind == OperandKind::kInteger &&
      !__builtin_sub_overflow(left.value.integer, right.value.integer, &difference)) {
    return IntegerOperand(difference);
  }
  return SubSlow(left, right);
}

Operand OpMul(Operand left, Operand right);
// 0 / anything is 0; x / 0 is an infinity of the quotient's sign.
Operand OpDiv(Operand left, Operand right);
// Remainder with the sign of the left operand; 0 for a zero divisor (and
// for -2147483648 MOD -1).
Operand OpMod(Operand left, Operand right);
Operand OpPow(Operand left, Operand right);
// Concatenation: a text below 512 bytes, else a link buffer (units 512 and
// 4096); an owned link buffer operand is extended in place and returned.
Operand OpCat(Operand left, Operand right);
Operand OpBitAnd(Operand left, Operand right);
Operand OpBitOr(Operand left, Operand right);
Operand OpBitXor(Operand left, Operand right);
Operand OpBitOc(Operand operand);
// Shifts by the right integer modulo 32; right shifts copy the sign bit.
Operand OpBitSl(Operand left, Operand right);
Operand OpBitSr(Operand left, Operand right);
// ROUNDS: text with exactly `right` places; ROUNDF: the decimal rescaled to
// `right` places (half-even). Negative places count as 0.
Operand OpRounds(Operand left, Operand right);
Operand OpRoundf(Operand left, Operand right);
// Password hash of text(left) with salt text(right); an empty text when the
// salt is refused.
Operand OpCrypt(Crypt* engine, Operand left, Operand right);
// 1-based position of left in right (IN, CIN), or of the occurrence's last
// byte (EIN, ECIN); 0 when absent.
Operand OpIn(Operand left, Operand right);
Operand OpCin(Operand left, Operand right);
Operand OpEin(Operand left, Operand right);
Operand OpEcin(Operand left, Operand right);
Operand OpCmp(Operand left, Operand right);
Operand OpEq(Operand left, Operand right);
Operand OpNe(Operand left, Operand right);
Operand OpLt(Operand left, Operand right);
Operand OpLe(Operand left, Operand right);
Operand OpGt(Operand left, Operand right);
Operand OpGe(Operand left, Operand right);
Operand OpAnd(Operand left, Operand right);
Operand OpOr(Operand left, Operand right);
Operand OpNot(Operand operand);
Operand OpIsNull(Operand operand);

}  // namespace orin

#endif  // ORIN_VARIABLES_OPERAND_H_
