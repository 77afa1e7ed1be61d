#include "variables/operand.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>

#include "util/crypt.h"
#include "variables/link_buffer.h"
#include "variables/text_search.h"
#include "variables/variable.h"

namespace orin {
namespace {

// Operands written as: "i:5" integer, "d:1.5" owned decimal, "v:text" a
// variable holding the text, "vi:5" an integer variable, anything else a
// borrowed text.
class Operands {
 public:
  Operand Make(const std::string& text) {
    if (text.rfind("i:", 0) == 0) return IntegerOperand(std::stoi(text.substr(2)));
    if (text.rfind("d:", 0) == 0) {
      bool error;
      return NumberOperand(DecimalFromText(nullptr, text.c_str() + 2, -1, &error), true);
    }
    if (text.rfind("vi:", 0) == 0) {
      VarRef v = NewVariable();
      v->SetValue_Integer(std::stoi(text.substr(3)));
      return VariableOperand(v.release(), true);
    }
    if (text.rfind("v:", 0) == 0) {
      return VariableOperand(NewTextVariable("", text.substr(2)).release(), true);
    }
    texts_.push_back(text);
    return StringOperand(texts_.back().data(), static_cast<uint32_t>(text.size()), 0, false);
  }

 private:
  std::deque<std::string> texts_;  // stable addresses for borrowed texts
};

// The result's text, then the result released.
std::string Take(Operand r) {
  std::string s(OperandText(r).view());
  ReleaseOperand(&r);
  return s;
}

using Binary = Operand (*)(Operand, Operand);

struct BinaryCase {
  Binary op;
  const char* name;
  const char* left;
  const char* right;
  const char* result;
};

TEST(Operators, Arithmetic) {
  BinaryCase cases[] = {
      {OpAdd, "+", "i:2147483647", "i:1", "2147483648"},
      {OpAdd, "+", "i:-2147483648", "i:-1", "-2147483649"},
      {OpAdd, "+", "1.5", "i:1", "2.5"},
      {OpAdd, "+", "abc", "i:1", "1"},
      {OpAdd, "+", "d:0.1", "d:0.2", "0.3"},
      {OpAdd, "+", "d:9999999999999999", "i:1", "10000000000000000"},
      {OpAdd, "+", "d:9999999999999999", "i:2", "10000000000000000"},  // 16 digits, half-even
      {OpSub, "-", "i:5", "i:7", "-2"},
      {OpSub, "-", "i:-2147483648", "i:1", "-2147483649"},
      {OpSub, "-", "v:10", "vi:3", "7"},
      {OpMul, "*", "i:65536", "i:65536", "4294967296"},
      {OpMul, "*", "1e200", "1e200", "Infinity"},
      {OpDiv, "/", "i:1", "i:3", "0.3333333333333333"},
      {OpDiv, "/", "i:2", "i:3", "0.6666666666666667"},
      {OpDiv, "/", "i:0", "i:0", "0"},
      {OpDiv, "/", "abc", "i:0", "0"},
      {OpDiv, "/", "i:5", "i:0", "Infinity"},
      {OpDiv, "/", "i:-5", "i:0", "-Infinity"},
      {OpDiv, "/", "i:5", "-0", "-Infinity"},
      {OpMod, "MOD", "i:7", "i:-2", "1"},
      {OpMod, "MOD", "i:-7", "i:2", "-1"},
      {OpMod, "MOD", "i:7", "i:0", "0"},
      {OpMod, "MOD", "i:-2147483648", "i:-1", "0"},
      {OpMod, "MOD", "1.5", "i:1", "0"},    // a literal text '1.5' is integer 0
      {OpMod, "MOD", "v:7.9", "i:4", "3"},  // a variable holding it truncates
      {OpPow, "POW", "i:2", "i:10", "1024"},
      {OpPow, "POW", "i:2", "0.5", "1.414213562373095"},
      {OpPow, "POW", "i:10", "i:400", "Infinity"},
      {OpPow, "POW", "i:-8", "0.5", "NaN"},
      {OpBitAnd, "BITAND", "i:12", "i:10", "8"},
      {OpBitOr, "BITOR", "i:12", "i:10", "14"},
      {OpBitXor, "BITXOR", "i:12", "i:10", "6"},
      {OpBitSl, "BITSL", "i:1", "i:33", "2"},
      {OpBitSl, "BITSL", "i:1", "i:-1", "-2147483648"},
      {OpBitSr, "BITSR", "i:-8", "i:1", "-4"},
      {OpBitSr, "BITSR", "i:-8", "i:32", "-8"},
      {OpBitAnd, "BITAND", "1.5", "i:3", "0"},
      {OpRounds, "ROUNDS", "2.5", "i:2", "2.50"},
      {OpRounds, "ROUNDS", "d:2.345", "i:2", "2.34"},
      {OpRounds, "ROUNDS", "i:7", "i:-3", "7"},
      {OpRounds, "ROUNDS", "3.5", "i:0", "4"},
      {OpRoundf, "ROUNDF", "2.5", "i:2", "2.5"},
      {OpRoundf, "ROUNDF", "2.555", "i:2", "2.56"},
      {OpRoundf, "ROUNDF", "2.545", "i:2", "2.54"},
      {OpRoundf, "ROUNDF", "1234.5", "i:-1", "1234"},
      {OpRoundf, "ROUNDF", "1.5", "i:2147483647", "1.5"},
      {OpCat, "$", "ab", "i:12", "ab12"},
      {OpCat, "$", "d:1.50", "v:x", "1.5x"},
  };
  Operands ops;
  for (const BinaryCase& c : cases) {
    EXPECT_EQ(Take(c.op(ops.Make(c.left), ops.Make(c.right))), c.result)
        << c.left << " " << c.name << " " << c.right;
  }
  EXPECT_EQ(Take(OpBitOc(IntegerOperand(0))), "-1");
}

TEST(Operators, IntegerResultsStayIntegers) {
  Operand r = OpAdd(IntegerOperand(2), IntegerOperand(3));
  EXPECT_EQ(r.kind, OperandKind::kInteger);
  Operands ops;
  r = OpAdd(ops.Make("vi:2"), ops.Make("d:3.0"));
  EXPECT_EQ(r.kind, OperandKind::kInteger);
  EXPECT_EQ(r.value.integer, 5);
  // Integer variables too, up to the very ends of the range.
  EXPECT_EQ(OpAdd(ops.Make("vi:2147483646"), IntegerOperand(1)).kind, OperandKind::kInteger);
  EXPECT_EQ(OpSub(ops.Make("vi:-2147483647"), IntegerOperand(1)).kind, OperandKind::kInteger);
  r = OpAdd(ops.Make("v:2"), IntegerOperand(3));  // a text variable is no integer
  EXPECT_EQ(r.kind, OperandKind::kNumber);
  ReleaseOperand(&r);
  r = OpMul(IntegerOperand(2), IntegerOperand(3));  // always a decimal
  EXPECT_EQ(r.kind, OperandKind::kNumber);
  // The result reuses an owned decimal operand.
  bool error;
  mpd_t* d = DecimalFromText(nullptr, "1.5", -1, &error);
  Operand sum = OpAdd(NumberOperand(d, true), IntegerOperand(1));
  EXPECT_EQ(sum.value.number, d);
  ReleaseOperand(&sum);
  ReleaseOperand(&r);
}

TEST(Operators, Comparisons) {
  struct Case {
    const char* left;
    const char* right;
    int order;  // sign of CompareValues; 2 for NaN
  } cases[] = {
      {"", "i:0", 0},       {"", "0", 0},
      {"abc", "ABC", 1},    {"1.0", "1", 0},
      {"0x10", "i:16", 0},  {" 1", "i:1", -1},
      {"NaN", "NaN", 2},    {"NaN", "i:5", 2},
      {"i:5", "NaN", 2},    {"Infinity", "1E300", 1},
      {"abc", "abd", -1},   {"ab", "abc", -1},
      {"\xff", "a", 1},     {"v:10", "9", 1},
      {"10", "9", 1},       {"vi:3", "d:3.00", 0},
      {"v:abc", "vi:1", 1}, {"-0", "0", 0},
      {"1e-400", "0", 0},   {"d:-Infinity", "i:-2147483648", -1},
  };
  Operands ops;
  for (const Case& c : cases) {
    Operand a = ops.Make(c.left), b = ops.Make(c.right);
    int32_t got = CompareValues(a, b);
    ReleaseOperand(&a);
    ReleaseOperand(&b);
    int sign = got == INT32_MAX ? 2 : (got > 0) - (got < 0);
    EXPECT_EQ(sign, c.order) << "'" << c.left << "' vs '" << c.right << "'";
  }
  // NaN is greater than everything and equal to nothing.
  EXPECT_EQ(Take(OpGt(ops.Make("NaN"), ops.Make("i:5"))), "1");
  EXPECT_EQ(Take(OpEq(ops.Make("NaN"), ops.Make("NaN"))), "0");
  EXPECT_EQ(Take(OpNe(ops.Make("NaN"), ops.Make("NaN"))), "1");
  EXPECT_EQ(Take(OpLt(ops.Make("abc"), ops.Make("abd"))), "1");
  EXPECT_EQ(Take(OpLe(ops.Make("i:3"), ops.Make("3.0"))), "1");
  EXPECT_EQ(Take(OpGe(ops.Make("i:2"), ops.Make("i:3"))), "0");
  EXPECT_EQ(Take(OpCmp(ops.Make("i:2"), ops.Make("i:3"))), "-1");
  VarRef v = NewTextVariable("", "7");
  EXPECT_EQ(CompareVariableInteger(v.get(), 7), 0);
  v->SetValue("x", -1);
  EXPECT_GT(CompareVariableInteger(v.get(), 7), 0);  // 'x' > '7' as texts
}

TEST(Operators, TruthEmptinessAndLogic) {
  Operands ops;
  struct Case {
    const char* operand;
    bool truth;
    bool empty;
  } cases[] = {
      {"0.0", false, false},    {"0.0.0", true, false}, {"00", false, false}, {" ", true, false},
      {"d:0.00", false, false}, {"i:-1", true, false},  {"", false, true},    {"v:", false, true},
      {"d:NaN", true, false},   {"v:0", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Take(OpNot(ops.Make(c.operand))), c.truth ? "0" : "1") << c.operand;
    EXPECT_EQ(Take(OpIsNull(ops.Make(c.operand))), c.empty ? "1" : "0") << c.operand;
  }
  EXPECT_EQ(Take(OpAnd(ops.Make("1"), ops.Make("i:0"))), "0");
  EXPECT_EQ(Take(OpOr(ops.Make("0"), ops.Make("x"))), "1");
  LinkBuffer* empty = new LinkBuffer(16, 16);
  EXPECT_EQ(Take(OpIsNull(BufferOperand(empty, true))), "1");
}

TEST(Operators, SearchFamily) {
  struct Case {
    Binary op;
    const char* needle;
    const char* haystack;
    int32_t at;
  } cases[] = {
      {OpIn, "a", "banana", 2}, {OpEin, "a", "banana", 2},  {OpEin, "an", "banana", 3},
      {OpIn, "", "x", 1},       {OpEin, "", "x", 0},        {OpCin, "A", "banana", 2},
      {OpIn, "A", "banana", 0}, {OpCin, "AbC", "xabcx", 2}, {OpEcin, "NA", "banana", 4},
      {OpIn, "long", "lo", 0},  {OpIn, "i:12", "x12", 2},   {OpIn, "", "", 1},
  };
  Operands ops;
  for (const Case& c : cases) {
    EXPECT_EQ(Take(c.op(ops.Make(c.needle), ops.Make(c.haystack))), std::to_string(c.at))
        << c.needle << " in " << c.haystack;
  }
}

TEST(TextSearch, ScanAndSkipTableAgree) {
  std::mt19937 rng(11);
  const char alphabet[] = "abAB\0\xe9";
  for (int round = 0; round < 3000; ++round) {
    std::string hay(300 + rng() % 400, ' ');
    for (char& c : hay)
      c = alphabet[rng() % 6];
    std::string needle(1 + rng() % 6, ' ');
    for (char& c : needle)
      c = alphabet[rng() % 6];
    if (rng() % 3 == 0) {
      size_t at = rng() % (hay.size() - needle.size());
      hay.replace(at, needle.size(), needle);
    }
    for (bool fold : {false, true}) {
      ASSERT_EQ(FindBytesScan(hay, needle, fold), FindBytesSkip(hay, needle, fold))
          << needle << " fold " << fold;
    }
  }
  std::string big(1000, 'x');
  big += "needle";
  EXPECT_EQ(FindBytes(big, "NEEDLE", true), 1000);
  EXPECT_EQ(FindBytes(big, "NEEDLE", false), -1);
}

TEST(Operators, ConcatenationBuildsLinkBuffersInPlace) {
  Operands ops;
  Operand r = OpCat(ops.Make("a"), ops.Make("b"));
  EXPECT_EQ(r.kind, OperandKind::kString);
  ReleaseOperand(&r);
  std::string long_text(600, 'x');
  r = OpCat(ops.Make(long_text), ops.Make("!"));
  ASSERT_EQ(r.kind, OperandKind::kLinkBuffer);
  LinkBuffer* buffer = r.value.buffer;
  r = OpCat(r, ops.Make("tail"));
  EXPECT_EQ(r.value.buffer, buffer);  // extended, not rebuilt
  r = OpCat(ops.Make("head"), r);     // prepended
  EXPECT_EQ(r.value.buffer, buffer);
  Operand dup = r;  // an unowned copy of the same buffer
  dup.flags = 0;
  r = OpCat(r, dup);
  EXPECT_EQ(Take(r), "head" + long_text + "!tail" + "head" + long_text + "!tail");

  // A million one-byte appends extend one buffer (linear; bench/ times it).
  r = OpCat(ops.Make(long_text), ops.Make("y"));
  for (int i = 0; i < 1000000; ++i)
    r = OpCat(r, ops.Make("z"));
  EXPECT_EQ(r.value.buffer->size(), 601u + 1000000u);
  VarRef v = NewVariable();
  AssignOperand(v.get(), r);
  EXPECT_EQ(v->Value().size(), 1000601u);
  EXPECT_EQ(v->Value()[1000600], 'z');
}

TEST(Operators, AssignOperandTakesOwnership) {
  VarRef v = NewVariable();
  char* text = static_cast<char*>(std::malloc(8));
  std::memcpy(text, "owned", 6);
  AssignOperand(v.get(), StringOperand(text, 5, 8, true));
  EXPECT_EQ(v->Value().data(), text);  // adopted, not copied
  AssignOperand(v.get(), IntegerOperand(4));
  EXPECT_EQ(v->ScalarType(), kTypeInteger);
  bool error;
  mpd_t* d = DecimalFromText(nullptr, "2.5", -1, &error);
  AssignOperand(v.get(), NumberOperand(d, true));
  EXPECT_EQ(v->Value_Decimal(), d);
  VarRef source = NewTextVariable("", "copied");
  source->AddRef();
  AssignOperand(v.get(), VariableOperand(source.get(), true));  // releases the temporary
  EXPECT_EQ(source->ReferenceCount(), 1);
  EXPECT_EQ(v->Value(), "copied");
  AssignOperand(v.get(), VariableOperand(v.get(), false));  // to itself
  EXPECT_EQ(v->Value(), "copied");
  LinkBuffer* b = new LinkBuffer(512, 4096);
  b->Concat("short");
  AssignOperand(v.get(), BufferOperand(b, true));
  EXPECT_EQ(v->Value(), "short");
  EXPECT_LT(v->Value().capacity(), 64u);  // the 512-byte block was trimmed
}

TEST(Operators, CryptHashesWithTheEngine) {
  Crypt engine;
  Operands ops;
  std::string hash = Take(OpCrypt(&engine, ops.Make("secret"), ops.Make("ab")));
  EXPECT_EQ(hash.size(), 13u);
  EXPECT_EQ(hash.substr(0, 2), "ab");
  EXPECT_EQ(Take(OpCrypt(&engine, ops.Make("secret"), ops.Make("!x"))), "");
}

}  // namespace
}  // namespace orin
