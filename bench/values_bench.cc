// Measures the value layer the machine computes with: integer and decimal
// arithmetic on operands, comparisons of variables, repeated concatenation,
// large arrays (ascending fill, lookup, deep copy, insertion at the front)
// and JSON decoding and encoding of a large document.
//
// Usage: values_bench [scale, default 1]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "variables/json_decode.h"
#include "variables/json_encode.h"
#include "variables/link_buffer.h"
#include "variables/operand.h"
#include "variables/variable.h"

namespace {

using Clock = std::chrono::steady_clock;
using orin::Operand;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Report(const char* what, double count, double seconds) {
  std::printf("%-44s %12.0f /s  (%.3f s)\n", what, count / seconds, seconds);
}

volatile int32_t g_sink;

void IntegerArithmetic(int64_t n) {
  auto start = Clock::now();
  Operand acc = orin::IntegerOperand(0);
  for (int64_t i = 0; i < n; ++i) {
    acc = orin::OpAdd(acc, orin::IntegerOperand(static_cast<int32_t>(i & 7)));
    acc = orin::OpSub(acc, orin::IntegerOperand(3));
  }
  g_sink = acc.value.integer;
  Report("integer + and - (operands)", 2.0 * n, Seconds(start));

  orin::VarRef a = orin::NewVariable(), b = orin::NewVariable();
  a->SetValue_Integer(1);
  b->SetValue_Integer(2);
  start = Clock::now();
  for (int64_t i = 0; i < n; ++i) {
    Operand r =
        orin::OpAdd(orin::VariableOperand(a.get(), false), orin::VariableOperand(b.get(), false));
    orin::AssignOperand(a.get(), orin::OpSub(r, orin::IntegerOperand(2)));
  }
  Report("integer variable + then store", static_cast<double>(n), Seconds(start));
}

void DecimalArithmetic(int64_t n) {
  bool error;
  orin::DecimalPtr third(orin::DecimalFromText(nullptr, "0.3333333333333333", -1, &error));
  auto start = Clock::now();
  Operand acc = orin::IntegerOperand(0);
  for (int64_t i = 0; i < n; ++i) {
    acc = orin::OpAdd(acc, orin::NumberOperand(third.get(), false));
  }
  orin::ReleaseOperand(&acc);
  Report("decimal + (result decimal reused)", static_cast<double>(n), Seconds(start));
  start = Clock::now();
  for (int64_t i = 0; i < n; ++i) {
    Operand r =
        orin::OpDiv(orin::IntegerOperand(static_cast<int32_t>(i + 1)), orin::IntegerOperand(7));
    orin::ReleaseOperand(&r);
  }
  Report("integer / integer (decimal result)", static_cast<double>(n), Seconds(start));
}

void Comparisons(int64_t n) {
  orin::VarRef num = orin::NewTextVariable("", "12.5"), word = orin::NewTextVariable("", "apple");
  orin::VarRef other = orin::NewTextVariable("", "banana");
  auto start = Clock::now();
  int32_t sum = 0;
  for (int64_t i = 0; i < n; ++i)
    sum += orin::CompareVariables(num.get(), num.get());
  Report("compare numeric text variables", static_cast<double>(n), Seconds(start));
  start = Clock::now();
  for (int64_t i = 0; i < n; ++i)
    sum += orin::CompareVariables(word.get(), other.get());
  g_sink = sum;
  Report("compare non-numeric text variables", static_cast<double>(n), Seconds(start));
}

void Concatenation(int64_t n) {
  auto start = Clock::now();
  std::string first(600, 'x');
  Operand acc = orin::OpCat(orin::StringOperand(first.data(), 600, 0, false),
                            orin::StringOperand("y", 1, 0, false));
  for (int64_t i = 0; i < n; ++i)
    acc = orin::OpCat(acc, orin::StringOperand("z", 1, 0, false));
  orin::VarRef v = orin::NewVariable();
  orin::AssignOperand(v.get(), acc);
  Report("$ one byte onto a link buffer", static_cast<double>(n), Seconds(start));
}

void Arrays(int32_t n) {
  orin::VarRef a = orin::NewVariable();
  auto start = Clock::now();
  for (int32_t i = 1; i <= n; ++i)
    a->Element(orin::AggregateIndex(i), true)->SetValue_Integer(i);
  Report("array fill, ascending", n, Seconds(start));
  start = Clock::now();
  int64_t sum = 0;
  for (int32_t i = 1; i <= n; ++i)
    sum += a->Element(orin::AggregateIndex(i), false)->Value_Integer();
  g_sink = static_cast<int32_t>(sum);
  Report("array read, ascending", n, Seconds(start));
  start = Clock::now();
  uint32_t x = 1;
  for (int32_t i = 1; i <= n; ++i) {
    x = x * 1103515245u + 12345u;
    sum +=
        a->Element(orin::AggregateIndex(1 + static_cast<int32_t>(x % n)), false)->Value_Integer();
  }
  Report("array read, random", n, Seconds(start));
  orin::VarRef b = orin::NewVariable();
  start = Clock::now();
  b->SetValue_Variable(a.get());
  Report("array deep copy (elements)", n, Seconds(start));
  orin::VarRef e = orin::NewVariable();
  start = Clock::now();
  for (int i = 0; i < 100; ++i)
    a->Insert_Array_Element(1, e.get());
  Report("insert at index 1 (shifts all)", 100, Seconds(start));
  start = Clock::now();
  a->Clear();
  b->Clear();
  Report("free two arrays (elements)", 2.0 * n, Seconds(start));
}

void Json(int32_t n) {
  std::string doc = "[";
  for (int32_t i = 0; i < n; ++i) {
    if (i) doc += ',';
    doc += "{\"id\":" + std::to_string(i) + ",\"name\":\"item \\u00e9 " + std::to_string(i) +
           "\",\"price\":12.50,\"tags\":[\"a\",\"b\"]}";
  }
  doc += "]";
  orin::VarRef v = orin::NewVariable();
  auto start = Clock::now();
  if (!orin::JsonDecode(doc, v.get(), nullptr)) std::abort();
  double s = Seconds(start);
  std::printf("%-44s %12.1f MB/s (%.3f s, %zu bytes)\n", "JSON decode", doc.size() / s / 1e6, s,
              doc.size());
  orin::LinkBuffer out(8192, 8192);
  start = Clock::now();
  orin::JsonEncode(v.get(), 0, true, &out);
  s = Seconds(start);
  std::printf("%-44s %12.1f MB/s (%.3f s, %u bytes)\n", "JSON encode", out.size() / s / 1e6, s,
              out.size());
}

}  // namespace

int main(int argc, char** argv) {
  int64_t scale = argc > 1 ? std::atoll(argv[1]) : 1;
  if (scale < 1) scale = 1;
  IntegerArithmetic(20000000 * scale);
  DecimalArithmetic(2000000 * scale);
  Comparisons(5000000 * scale);
  Concatenation(10000000 * scale);
  Arrays(static_cast<int32_t>(1000000 * scale));
  Json(static_cast<int32_t>(100000 * scale));
  return 0;
}
