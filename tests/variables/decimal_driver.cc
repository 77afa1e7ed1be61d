// Reads "operation<TAB>left<TAB>right" lines and prints each result's text:
// the decimal reference check (decimal_reference.py) feeds it cases and
// compares the answers with Python's decimal module. An operand "i:N" is the
// integer N, anything else a text.
#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>

#include "variables/decimal.h"
#include "variables/operand.h"

namespace {

using orin::Operand;

Operand Make(const std::string& text) {
  if (text.rfind("i:", 0) == 0) return orin::IntegerOperand(std::stoi(text.substr(2)));
  return orin::StringOperand(text.data(), static_cast<uint32_t>(text.size()), 0, false);
}

std::string Take(Operand r) {
  std::string s(orin::OperandText(r).view());
  orin::ReleaseOperand(&r);
  return s;
}

std::string Run(const std::string& op, const std::string& a, const std::string& b) {
  if (op == "text") {
    bool error;
    orin::DecimalPtr d(
        orin::DecimalFromText(nullptr, a.data(), static_cast<int64_t>(a.size()), &error));
    return Take(orin::NumberOperand(d.release(), true)) + (error ? " error" : "");
  }
  if (op == "int") {
    bool error;
    orin::DecimalPtr d(
        orin::DecimalFromText(nullptr, a.data(), static_cast<int64_t>(a.size()), &error));
    return std::to_string(orin::IntegerFromDecimal(d.get()));
  }
  if (op == "cmp") {
    int32_t c = orin::CompareValues(Make(a), Make(b));
    return c == INT32_MAX ? "NaN" : std::to_string((c > 0) - (c < 0));
  }
  Operand (*f)(Operand, Operand) = nullptr;
  if (op == "add") f = orin::OpAdd;
  if (op == "sub") f = orin::OpSub;
  if (op == "mul") f = orin::OpMul;
  if (op == "div") f = orin::OpDiv;
  if (op == "pow") f = orin::OpPow;
  if (op == "roundf") f = orin::OpRoundf;
  if (op == "rounds") f = orin::OpRounds;
  if (f == nullptr) return "unknown operation " + op;
  return Take(f(Make(a), Make(b)));
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  std::string line;
  while (std::getline(std::cin, line)) {
    size_t t1 = line.find('\t');
    size_t t2 = line.find('\t', t1 + 1);
    std::string op = line.substr(0, t1);
    std::string a = line.substr(t1 + 1, t2 - t1 - 1);
    std::string b = t2 == std::string::npos ? "" : line.substr(t2 + 1);
    std::cout << Run(op, a, b) << '\n';
  }
  return 0;
}
