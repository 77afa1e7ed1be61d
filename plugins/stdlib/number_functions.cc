// num_... functions.
#include "call.h"
#include "core/numbers.h"
#include "functions.h"

namespace orin_std {

static void Unary1(Call& c, Unary op) {
  std::string x, out, error;
  if (!c.Number(0, &x)) return;
  if (!NumberUnary(op, x, &out, &error)) return void(c.Fail(error));
  c.ReturnNumber(out);
}

static void Binary2(Call& c, Binary op) {
  std::string a, b, out, error;
  if (!c.Number(0, &a) || !c.Number(1, &b)) return;
  if (!NumberBinary(op, a, b, &out, &error)) return void(c.Fail(error));
  c.ReturnNumber(out);
}

void NumFloor(Call& c) {
  Unary1(c, Unary::kFloor);
}
void NumCeil(Call& c) {
  Unary1(c, Unary::kCeil);
}
void NumTrunc(Call& c) {
  Unary1(c, Unary::kTrunc);
}
void NumAbs(Call& c) {
  Unary1(c, Unary::kAbs);
}
void NumSqrt(Call& c) {
  Unary1(c, Unary::kSqrt);
}
void NumExp(Call& c) {
  Unary1(c, Unary::kExp);
}
void NumLn(Call& c) {
  Unary1(c, Unary::kLn);
}
void NumLog10(Call& c) {
  Unary1(c, Unary::kLog10);
}
void NumMin(Call& c) {
  Binary2(c, Binary::kMin);
}
void NumMax(Call& c) {
  Binary2(c, Binary::kMax);
}
void NumPow(Call& c) {
  Binary2(c, Binary::kPow);
}
void NumMod(Call& c) {
  Binary2(c, Binary::kMod);
}

void NumRound(Call& c) {
  std::string x, out, error;
  int64_t places;
  if (!c.Number(0, &x) || !c.Integer(1, &places)) return;
  if (!NumberRound(x, places, &out, &error)) return void(c.Fail(error));
  c.ReturnNumber(out);
}

void NumRandom(Call& c) {
  int64_t low, high, value;
  std::string error;
  if (!c.Integer(0, &low) || !c.Integer(1, &high)) return;
  if (!RandomInteger(low, high, &value, &error)) return void(c.Fail(error));
  c.ReturnInteger(value);
}

void NumValid(Call& c) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnBool(IsNumber(text));
}

void NumFormat(Call& c) {
  std::string x, out, error;
  int64_t decimals;
  std::string_view point, thousands;
  if (!c.Number(0, &x) || !c.Integer(1, &decimals) || !c.Text(2, &point) ||
      !c.Text(3, &thousands)) {
    return;
  }
  if (!FormatNumber(x, decimals, point, thousands, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

}  // namespace orin_std
