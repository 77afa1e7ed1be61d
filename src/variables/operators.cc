// The expression operators on operands.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "util/byte_string.h"
#include "util/crypt.h"
#include "variables/link_buffer.h"
#include "variables/operand.h"
#include "variables/text_search.h"

namespace orin {

namespace {

// Concatenations from this length on become link buffers.
constexpr uint32_t kCatBufferThreshold = 512;
constexpr uint32_t kCatFirstUnit = 512;
constexpr uint32_t kCatGrowthUnit = 4096;

bool IsOwnedBuffer(const Operand& op) {
  return op.kind == OperandKind::kLinkBuffer && IsOwned(op);
}

// A decimal for a result, reusing a number one of the operands owns; the
// operand gives it up.
mpd_t* ResultDecimal(Operand* left, Operand* right) {
  for (Operand* op : {left, right}) {
    if (op->kind == OperandKind::kNumber && IsOwned(*op)) {
      op->flags &= static_cast<uint8_t>(~kOperandOwned);
      return op->value.number;
    }
  }
  return NewDecimal();
}

using DecimalOperation = void (*)(mpd_t*, const mpd_t*, const mpd_t*, const mpd_context_t*,
                                  uint32_t*);

// Computes op(left, right) into a result decimal and consumes the operands.
Operand DecimalResult(Operand left, Operand right, DecimalOperation op) {
  ScratchDecimal sl, sr;
  const mpd_t* a = OperandDecimal(left, &sl);
  const mpd_t* b = OperandDecimal(right, &sr);
  // Reuse an owned operand decimal: libmpdec allows the result to alias an
  // input. The operands are released only after the computation.
  mpd_t* result = ResultDecimal(&left, &right);
  DecimalPtr hold(result);
  uint32_t status = 0;
  op(result, a, b, DecimalContext(), &status);
  CheckDecimalStatus(status);
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return NumberOperand(hold.release(), true);
}

Operand IntegerOrDecimal(Operand left, Operand right, bool subtract) {
  int32_t a, b;
  if (OperandIsInteger(left, &a) && OperandIsInteger(right, &b)) {
    int64_t r = subtract ? static_cast<int64_t>(a) - b : static_cast<int64_t>(a) + b;
    if (r >= INT32_MIN && r <= INT32_MAX) {
      ReleaseOperand(&left);
      ReleaseOperand(&right);
      return IntegerOperand(static_cast<int32_t>(r));
    }
  }
  return DecimalResult(left, right, subtract ? mpd_qsub : mpd_qadd);
}

Operand Boolean(bool b) {
  return IntegerOperand(b ? 1 : 0);
}

// Both integers, then the operands consumed.
void TakeIntegers(Operand* left, Operand* right, int32_t* a, int32_t* b) {
  *a = OperandInteger(*left);
  *b = OperandInteger(*right);
  ReleaseOperand(left);
  ReleaseOperand(right);
}

Operand Compared(Operand left, Operand right, bool (*test)(int32_t)) {
  int32_t c = CompareValues(left, right);
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return Boolean(test(c));
}

Operand Search(Operand left, Operand right, bool ignore_case, bool end) {
  int64_t at;
  size_t needle;
  {
    OperandText a(left);
    OperandText b(right);
    needle = a.size();
    at = FindBytes(b.view(), a.view(), ignore_case);
  }
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  if (at < 0) return IntegerOperand(0);
  if (end) return IntegerOperand(needle == 0 ? 0 : static_cast<int32_t>(at + needle));
  return IntegerOperand(static_cast<int32_t>(at + 1));
}

int32_t Places(const Operand& op) {
  int32_t n = OperandInteger(op);
  return n < 0 ? 0 : n;
}

}  // namespace

Operand AddSlow(Operand left, Operand right) {
  return IntegerOrDecimal(left, right, false);
}

Operand SubSlow(Operand left, Operand right) {
  return IntegerOrDecimal(left, right, true);
}

Operand OpMul(Operand left, Operand right) {
  return DecimalResult(left, right, mpd_qmul);
}

Operand OpDiv(Operand left, Operand right) {
  ScratchDecimal sl;
  if (mpd_iszero(OperandDecimal(left, &sl))) {
    ReleaseOperand(&left);
    ReleaseOperand(&right);
    return NumberOperand(NewDecimal(), true);
  }
  return DecimalResult(left, right, mpd_qdiv);
}

Operand OpMod(Operand left, Operand right) {
  int32_t a, b;
  TakeIntegers(&left, &right, &a, &b);
  if (b == 0 || (b == -1 && a == INT32_MIN)) return IntegerOperand(0);
  return IntegerOperand(a % b);
}

Operand OpPow(Operand left, Operand right) {
  return DecimalResult(left, right, mpd_qpow);
}

Operand OpCat(Operand left, Operand right) {
  if (IsOwnedBuffer(left)) {
    LinkBuffer* b = left.value.buffer;
    if (IsOwnedBuffer(right)) {
      b->ConcatMove(*right.value.buffer);
    } else if (right.kind == OperandKind::kLinkBuffer) {
      b->ConcatCopy(*right.value.buffer);  // may be b itself, duplicated
    } else {
      OperandText t(right);
      b->Concat(t.data(), t.size());
    }
    ReleaseOperand(&right);
    return left;
  }
  if (IsOwnedBuffer(right)) {
    LinkBuffer* b = right.value.buffer;
    if (left.kind == OperandKind::kLinkBuffer) {
      b->PrependCopy(*left.value.buffer);
    } else {
      OperandText t(left);
      b->Prepend(t.data(), t.size());
    }
    ReleaseOperand(&left);
    return right;
  }
  Operand result;
  {
    OperandText a(left);
    OperandText b(right);
    size_t n = static_cast<size_t>(a.size()) + b.size();
    if (n > kMaxByteStringLength) throw std::bad_alloc();
    if (n < kCatBufferThreshold) {
      char* p = static_cast<char*>(std::malloc(n + 1));
      if (p == nullptr) throw std::bad_alloc();
      std::memcpy(p, a.data(), a.size());
      std::memcpy(p + a.size(), b.data(), b.size());
      p[n] = 0;
      result = StringOperand(p, static_cast<uint32_t>(n), static_cast<uint32_t>(n + 1), true);
    } else {
      auto buffer = std::make_unique<LinkBuffer>(kCatFirstUnit, kCatGrowthUnit);
      buffer->Concat(a.data(), a.size());
      buffer->Concat(b.data(), b.size());
      result = BufferOperand(buffer.release(), true);
    }
  }
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return result;
}

Operand OpBitAnd(Operand left, Operand right) {
  int32_t a, b;
  TakeIntegers(&left, &right, &a, &b);
  return IntegerOperand(a & b);
}

Operand OpBitOr(Operand left, Operand right) {
  int32_t a, b;
  TakeIntegers(&left, &right, &a, &b);
  return IntegerOperand(a | b);
}

Operand OpBitXor(Operand left, Operand right) {
  int32_t a, b;
  TakeIntegers(&left, &right, &a, &b);
  return IntegerOperand(a ^ b);
}

Operand OpBitOc(Operand operand) {
  int32_t a = OperandInteger(operand);
  ReleaseOperand(&operand);
  return IntegerOperand(~a);
}

Operand OpBitSl(Operand left, Operand right) {
  int32_t a, b;
  TakeIntegers(&left, &right, &a, &b);
  return IntegerOperand(static_cast<int32_t>(static_cast<uint32_t>(a) << (b & 31)));
}

Operand OpBitSr(Operand left, Operand right) {
  int32_t a, b;
  TakeIntegers(&left, &right, &a, &b);
  return IntegerOperand(a >> (b & 31));
}

Operand OpRounds(Operand left, Operand right) {
  int32_t places = Places(right);
  uint32_t n, capacity;
  char* text;
  {
    ScratchDecimal scratch;
    text = FixedTextFromDecimal(OperandDecimal(left, &scratch), places, &n, &capacity);
  }
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return StringOperand(text, n, capacity, true);
}

Operand OpRoundf(Operand left, Operand right) {
  int32_t places = Places(right);
  ScratchDecimal scratch;
  const mpd_t* value = OperandDecimal(left, &scratch);
  DecimalPtr result(NewDecimal());
  uint32_t status = 0;
  // A value with no more places than asked for is already rounded; leaving
  // it alone also keeps a large place count from building a huge
  // coefficient of trailing zeros.
  if (mpd_isspecial(value) || -static_cast<int64_t>(places) <= value->exp) {
    mpd_qcopy(result.get(), value, &status);
  } else {
    mpd_qrescale(result.get(), value, -static_cast<mpd_ssize_t>(places), DecimalContext(), &status);
  }
  CheckDecimalStatus(status);
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return NumberOperand(result.release(), true);
}

Operand OpCrypt(Crypt* engine, Operand left, Operand right) {
  char* hash;
  {
    OperandText password(left);
    OperandText salt(right);
    hash = engine->Hash(password.data(), password.size(), salt.data(), salt.size());
  }
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  if (hash == nullptr) return StringOperand("", 0, 0, false);
  return StringOperand(hash, 13, 14, true);
}

Operand OpIn(Operand left, Operand right) {
  return Search(left, right, false, false);
}
Operand OpCin(Operand left, Operand right) {
  return Search(left, right, true, false);
}
Operand OpEin(Operand left, Operand right) {
  return Search(left, right, false, true);
}
Operand OpEcin(Operand left, Operand right) {
  return Search(left, right, true, true);
}

Operand OpCmp(Operand left, Operand right) {
  int32_t c = CompareValues(left, right);
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return IntegerOperand(c);
}

Operand OpEq(Operand l, Operand r) {
  return Compared(l, r, [](int32_t c) { return c == 0; });
}
Operand OpNe(Operand l, Operand r) {
  return Compared(l, r, [](int32_t c) { return c != 0; });
}
Operand OpLt(Operand l, Operand r) {
  return Compared(l, r, [](int32_t c) { return c < 0; });
}
Operand OpLe(Operand l, Operand r) {
  return Compared(l, r, [](int32_t c) { return c <= 0; });
}
Operand OpGt(Operand l, Operand r) {
  return Compared(l, r, [](int32_t c) { return c > 0; });
}
Operand OpGe(Operand l, Operand r) {
  return Compared(l, r, [](int32_t c) { return c >= 0; });
}

Operand OpAnd(Operand left, Operand right) {
  bool r = OperandTruth(left) && OperandTruth(right);
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return Boolean(r);
}

Operand OpOr(Operand left, Operand right) {
  bool a = OperandTruth(left);
  bool b = OperandTruth(right);
  ReleaseOperand(&left);
  ReleaseOperand(&right);
  return Boolean(a || b);
}

Operand OpNot(Operand operand) {
  bool r = !OperandTruth(operand);
  ReleaseOperand(&operand);
  return Boolean(r);
}

Operand OpIsNull(Operand operand) {
  bool r = OperandIsEmpty(operand);
  ReleaseOperand(&operand);
  return Boolean(r);
}

}  // namespace orin
