#include "vm/expression_compiler.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "image/dictionary.h"
#include "image/function.h"
#include "image/opcodes.h"
#include "image/segment.h"
#include "util/ascii.h"
#include "variables/dynamic_name.h"
#include "vm/external_call.h"

namespace orin {

struct ExpressionCompiler::Operator {
  const char* text;
  int32_t number;  // the operator's number in the language's table
  int precedence;
  bool prefix;
  uint16_t opcode;  // 0: handled by the parser (groups, ++, --)
};

namespace {

using Operator = ExpressionCompiler::Operator;

constexpr Operator kOperators[] = {
    {"+", 0, 3, false, kAdd},
    {"-", 1, 3, false, kSub},
    {"$", 2, 3, false, kCat},
    {"BITAND", 3, 3, false, kBitand},
    {"BITOR", 4, 3, false, kBitor},
    {"BITXOR", 5, 3, false, kBitxor},
    {"BITOC", 6, 3, true, kBitoc},
    {"BITSL", 7, 3, false, kBitsl},
    {"BITSR", 8, 3, false, kBitsr},
    {"/", 9, 4, false, kDiv},
    {"*", 10, 4, false, kMul},
    {"AND", 11, 1, false, kAnd},
    {"OR", 12, 1, false, kOr},
    {"IN", 13, 2, false, kIn},
    {"CIN", 14, 2, false, kCin},
    {"EIN", 15, 2, false, kEin},
    {"ECIN", 16, 2, false, kEcin},
    {"EQ", 17, 2, false, kEq},
    {"NE", 18, 2, false, kNe},
    {"GE", 19, 2, false, kGe},
    {"LE", 20, 2, false, kLe},
    {"LT", 21, 2, false, kLt},
    {"GT", 22, 2, false, kGt},
    {"NOT", 23, 6, true, kNot},
    {"ROUNDS", 25, 5, false, kRounds},
    {"ROUNDF", 26, 5, false, kRoundf},
    {"CRYPT", 27, 5, false, kCrypt},
    {"MOD", 28, 4, false, kMod},
    {"POW", 30, 5, false, kPow},
    {"ISNULL", 31, 6, true, kIsnull},
    {"(", 32, 7, true, 0},
    {"++", 33, 8, true, 0},
    {"--", 34, 8, true, 0},
};

const Operator* FindOperator(std::string_view text) {
  for (const Operator& op : kOperators) {
    if (EqualsNoCase(text, op.text)) return &op;
  }
  return nullptr;
}

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsWordChar(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_';
}
bool IsQuote(char c) {
  return c == '\'' || c == '"';
}
bool IsCloser(char c) {
  return c == ')' || c == ']';
}

constexpr std::string_view kArgumentExpected = "Argument expected in Expression";
constexpr std::string_view kMisplacedOperator = "Invalid operator found in expression";
constexpr std::string_view kUnbalanced = "Mismatched Parentheses found in Expression";
constexpr std::string_view kUnclosed = "Mismatched Parentheses in Expression";
constexpr std::string_view kMismatchedQuotes = "Mismatched Quotes found in Expression";

std::string InvalidOperator(std::string_view text) {
  return "Invalid Operator '" + std::string(text) + "' Found in Expression";
}
std::string InvalidArgument(std::string_view text) {
  return "Invalid Argument '" + std::string(text) + "' Found in expression";
}
std::string InvalidName(std::string_view text) {
  return "Invalid Argument '" + std::string(text) + "' in Expression";
}

}  // namespace

// Counts one level of nesting for as long as it lives.
class ExpressionCompiler::Nesting {
 public:
  explicit Nesting(ExpressionCompiler* c) : c_(c) { ++c_->depth_; }
  ~Nesting() { --c_->depth_; }
  bool ok() const {
    return c_->depth_ <= kMaxNesting || c_->Fail("Expression is nested too deeply");
  }

 private:
  ExpressionCompiler* c_;
};

ExpressionCompiler::ExpressionCompiler(ExternalCallManager* calls, SegmentManager* segments,
                                       Dictionary* dictionary, FunctionManager* functions,
                                       FunctionManager* second_functions)
    : calls_(calls),
      segments_(segments),
      dictionary_(dictionary),
      functions_(functions),
      second_functions_(second_functions) {}

ExpressionCompiler::~ExpressionCompiler() = default;

void ExpressionCompiler::SetSource(std::string_view file, int32_t line) {
  source_file_.assign(file);
  line_ = line;
}

bool ExpressionCompiler::Fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  return false;
}

Segment* ExpressionCompiler::Compile(std::string_view text) {
  error_.clear();
  text_ = text;
  depth_ = 0;
  write_ = 0;
  if (segments_ == nullptr || dictionary_ == nullptr ||
      segments_->Count() >= SegmentManager::kMaxEntries) {
    Fail("Unable to create a segment for the expression");
    return nullptr;
  }
  uint32_t number = segments_->Count();
  code_ = std::make_unique<Segment>(static_cast<int32_t>(number), 0);
  bool ok = true;
  if (!source_file_.empty()) {
    int32_t id = Intern(source_file_);
    ok = id >= 0 ? EmitInt(kSourcefile, id) : Fail("Unable to store variable");
  }
  if (ok && line_ != 0) ok = EmitInt(kLineno, line_);
  ok = ok && Range(0, text.size());
  std::unique_ptr<Segment> code = std::move(code_);
  if (!ok) return nullptr;
  return segments_->SetSegment(number, std::move(code));
}

// --- Expressions ---

// A whole expression filling [begin, end).
bool ExpressionCompiler::Range(size_t begin, size_t end) {
  size_t pos = SkipSpace(begin, end);
  if (pos >= end) return Fail(std::string(kArgumentExpected));
  if (!Binary(pos, end, 0)) return false;
  // Binary stops only at the end or at an operator it refused.
  return SkipSpace(pos, end) >= end || Fail(std::string(kMisplacedOperator));
}

// An operand, then every following binary operator that binds at least as
// tightly as `min_precedence` with its right-hand side.
bool ExpressionCompiler::Binary(size_t& pos, size_t end, int min_precedence) {
  Nesting nesting(this);
  if (!nesting.ok() || !Operand(pos, end, false, nullptr)) return false;
  for (;;) {
    pos = SkipSpace(pos, end);
    if (pos >= end) return true;
    const Operator* op = nullptr;
    size_t after = pos;
    if (!ReadOperator(pos, end, &op, &after)) return false;
    if (op->precedence < min_precedence) return true;
    pos = after;
    // Operators of the same precedence wait: they group from the left.
    if (!Binary(pos, end, op->precedence + 1) || !Emit(op->opcode)) return false;
  }
}

bool ExpressionCompiler::Operand(size_t& pos, size_t end, bool create, bool* variable) {
  Nesting nesting(this);
  if (!nesting.ok()) return false;
  pos = SkipSpace(pos, end);
  if (pos >= end) return Fail(std::string(kArgumentExpected));
  char c = text_[pos];
  char next = pos + 1 < end ? text_[pos + 1] : 0;
  if (IsQuote(c)) return QuotedString(pos, end);
  if (IsDigit(c) || c == '.') return Number(pos, end);
  if (c == '+' || c == '-') {
    if (next == c) return Prefix(*FindOperator(c == '+' ? "++" : "--"), pos, end);
    if (IsDigit(next) || next == '.') return Number(pos, end);
    return Fail(std::string(kArgumentExpected));
  }
  if (c == '$' || c == '*' || c == '/') return Fail(std::string(kArgumentExpected));
  if (c == '(') return Prefix(*FindOperator("("), pos, end);
  if (IsCloser(c)) return Fail(std::string(kUnclosed));
  if (c == '|' || c == '^') {
    size_t e = pos;
    while (e < end && (text_[e] == '|' || text_[e] == '^'))
      ++e;
    return Fail(InvalidOperator(text_.substr(pos, e - pos)));
  }
  if (IsLetter(c)) {
    size_t word_end = WordEnd(pos, end);
    if (const Operator* op = FindOperator(text_.substr(pos, word_end - pos))) {
      if (!op->prefix) return Fail(std::string(kArgumentExpected));
      return Prefix(*op, pos, end);
    }
    return NameOperand(pos, end, create, variable);
  }
  return Fail(InvalidArgument(TokenAt(pos, end)));
}

// A prefix operator at pos and its operand.
bool ExpressionCompiler::Prefix(const Operator& op, size_t& pos, size_t end) {
  if (op.number == 32) {  // a group
    size_t close = GroupEnd(pos, end);
    if (close == std::string_view::npos || !Range(pos + 1, close)) return false;
    pos = close + 1;
    return true;
  }
  pos += std::strlen(op.text);
  if (op.opcode != 0) return Binary(pos, end, op.precedence) && Emit(op.opcode);
  // ++ and --: the value plus or minus one, stored back when the operand
  // is a variable: X dup 1 add -> X v; dup swapn 0 2 -> v v X; store -> v.
  bool variable = false;
  if (!Operand(pos, end, true, &variable)) return false;
  if (variable && !Emit(kDup)) return false;
  if (!EmitInt(kPushi, 1) || !Emit(op.number == 33 ? kAdd : kSub)) return false;
  if (!variable) return true;
  return Emit(kDup) && EmitInt2(kSwapn, 0, 2) && Emit(kStore);
}

// A word that is not an operator: a function call or a variable name.
bool ExpressionCompiler::NameOperand(size_t& pos, size_t end, bool create, bool* variable) {
  size_t begin = pos;
  pos = WordEnd(pos, end);
  while (pos + 1 < end && text_[pos] == '.' && IsLetter(text_[pos + 1]))
    pos = WordEnd(pos + 1, end);
  size_t look = SkipSpace(pos, end);
  if (look < end && text_[look] == '(') {
    size_t close = GroupEnd(look, end);
    if (close == std::string_view::npos) return false;
    if (!Call(text_.substr(begin, pos - begin), look, close)) return false;
    pos = close + 1;
    return true;
  }
  // Subscripts and members.
  while (pos < end && (text_[pos] == '[' || text_[pos] == ':')) {
    if (text_[pos] == '[') {
      size_t close = GroupEnd(pos, end);
      if (close == std::string_view::npos) return false;
      pos = close + 1;
    } else {
      size_t member_end = WordEnd(pos + 1, end);
      if (member_end == pos + 1) return Fail(InvalidName(TokenAt(begin, end)));
      pos = member_end;
    }
  }
  if (variable != nullptr) *variable = true;
  return VariableName(begin, pos, create);
}

// Emits the variable written in [begin, end), already checked by
// NameOperand. `create`: the creating element and member instructions.
bool ExpressionCompiler::VariableName(size_t begin, size_t end, bool create) {
  size_t base_end = begin;
  while (base_end < end && text_[base_end] != '[' && text_[base_end] != ':')
    ++base_end;
  std::string_view name = text_.substr(begin, base_end - begin);
  DynamicName parsed = ParseDynamicName(name);
  if (parsed.scope == NameScope::kDatabase) {
    int32_t alias = Intern(parsed.alias);
    int32_t field = Intern(parsed.path);
    if (alias < 0 || field < 0) return Fail("Unable to store variable");
    if (!EmitInt2(kPushdc, alias, field)) return false;
  } else {
    int32_t id = Intern(name);
    if (id < 0) return Fail("Unable to store variable");
    if (!EmitInt(kPushnc, id)) return false;
  }
  size_t pos = base_end;
  while (pos < end) {
    if (text_[pos] == '[') {
      size_t close = GroupEnd(pos, end);
      if (close == std::string_view::npos || !Range(pos + 1, close)) return false;
      if (!Emit(create ? kElem : kElemr)) return false;
      pos = close + 1;
    } else {
      size_t member_end = WordEnd(pos + 1, end);
      int32_t id = Intern(text_.substr(pos + 1, member_end - pos - 1));
      if (id < 0) return Fail("Unable to store variable");
      if (!EmitInt(kPushc, id) || !Emit(create ? kMemb : kMembr)) return false;
      pos = member_end;
    }
  }
  return true;
}

Function* ExpressionCompiler::FindFunction(std::string_view name) {
  if (functions_ == nullptr) return nullptr;
  if (Function* f = functions_->FindFunction(name)) return f;
  if (second_functions_ != nullptr) {
    Function* other = second_functions_->FindFunction(name);
    if (other != nullptr && other->external()) return functions_->RegisterCopy(*other);
  }
  const ZetoFunctionEntry* entry = calls_ != nullptr ? calls_->FindEntry(name) : nullptr;
  if (entry == nullptr) return nullptr;
  std::vector<std::string> names;
  std::vector<FunctionManager::ParameterDecl> parameters;
  names.reserve(entry->parameter_count);
  for (uint32_t i = 0; i < entry->parameter_count; ++i) {
    names.push_back("p" + std::to_string(i + 1));
    parameters.push_back({names.back(), entry->parameters[i].flags});
  }
  return functions_->RegisterExternal(name, Function::kExternal, parameters);
}

// name(arguments): the arguments between `open` and `close`, pushed first
// to last, then the call.
bool ExpressionCompiler::Call(std::string_view name, size_t open, size_t close) {
  Function* function = FindFunction(name);
  if (function == nullptr) return Fail("Unable to find function '" + std::string(name) + "'");
  std::vector<std::pair<size_t, size_t>> arguments;
  if (SkipSpace(open + 1, close) < close) {
    size_t start = open + 1;
    for (size_t i = open + 1; i <= close; ++i) {
      if (i == close || text_[i] == ',') {
        arguments.emplace_back(start, i);
        start = i + 1;
      } else if (IsQuote(text_[i]) || text_[i] == '(' || text_[i] == '[') {
        // Checked when the call's group was found: these close inside it.
        size_t skip = IsQuote(text_[i]) ? QuoteEnd(i, close) : GroupEnd(i, close);
        if (skip == std::string_view::npos) return Fail(std::string(kUnbalanced));
        i = skip;
      }
    }
  }
  size_t count = function->parameters().size();
  if (arguments.size() != count) {
    return Fail("Function '" + std::string(name) + "' is defined with " + std::to_string(count) +
                " parameters and was called with " + std::to_string(arguments.size()));
  }
  for (const auto& [begin, end] : arguments) {
    if (!Range(begin, end)) return false;
  }
  return EmitInt(kCall, static_cast<int32_t>(function->number()));
}

bool ExpressionCompiler::Number(size_t& pos, size_t end) {
  size_t begin = pos;
  size_t e = pos + ((text_[pos] == '+' || text_[pos] == '-') ? 1 : 0);
  while (e < end && (IsWordChar(text_[e]) || text_[e] == '.'))
    ++e;
  std::string_view token = text_.substr(begin, e - begin);
  pos = e;
  bool negative = token[0] == '-';
  std::string_view digits = token.substr(token[0] == '+' || token[0] == '-' ? 1 : 0);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    uint64_t value = 0;
    auto [ptr, ec] = std::from_chars(digits.data() + 2, digits.data() + digits.size(), value, 16);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || value > 0xFFFFFFFFu) {
      return Fail(InvalidArgument(token));
    }
    uint32_t bits = static_cast<uint32_t>(value);
    return EmitInt(kPushi, static_cast<int32_t>(negative ? 0u - bits : bits));
  }
  size_t dots = 0, digit_count = 0;
  for (char c : digits) {
    if (c == '.') {
      ++dots;
    } else if (IsDigit(c)) {
      ++digit_count;
    } else {
      return Fail(InvalidArgument(token));
    }
  }
  if (dots > 1 || digit_count == 0) return Fail(InvalidArgument(token));
  if (dots == 0) {
    int32_t value = 0;
    auto [ptr, ec] =
        std::from_chars(token.data() + (token[0] == '+'), token.data() + token.size(), value);
    if (ec == std::errc() && ptr == token.data() + token.size()) return EmitInt(kPushi, value);
  }
  // Decimals, and integers beyond 32 bits.
  double value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return EmitDouble(kPushf, negative ? -value : value);
}

bool ExpressionCompiler::QuotedString(size_t& pos, size_t end) {
  size_t close = QuoteEnd(pos, end);
  if (close == std::string_view::npos) return Fail(std::string(kMismatchedQuotes));
  std::string text;
  text.reserve(close - pos);
  for (size_t i = pos + 1; i < close; ++i) {
    if (text_[i] == '\\' && i + 1 < close && IsQuote(text_[i + 1])) ++i;
    text += text_[i];
  }
  pos = close + 1;
  int32_t id = Intern(text);
  if (id < 0) return Fail("Unable to find variable");
  return EmitInt(kPushc, id);
}

bool ExpressionCompiler::ReadOperator(size_t pos, size_t end, const Operator** op, size_t* after) {
  char c = text_[pos];
  char next = pos + 1 < end ? text_[pos + 1] : 0;
  auto additional = [this](std::string_view token) {
    return Fail("Found additional argument '" + std::string(token) +
                "' while looking for operator");
  };
  if (IsQuote(c)) {
    size_t close = QuoteEnd(pos, end);
    if (close == std::string_view::npos) return Fail(std::string(kMismatchedQuotes));
    return additional(text_.substr(pos, close + 1 - pos));
  }
  if (IsDigit(c) || c == '.') return additional(TokenAt(pos, end));
  if (IsCloser(c)) return Fail(std::string(kUnclosed));
  if (c == '(') return Fail(std::string(kMisplacedOperator));
  if ((c == '+' || c == '-') && next == c) return Fail(std::string(kMisplacedOperator));
  if (c == '+' || c == '-' || c == '$' || c == '*' || c == '/') {
    *op = FindOperator(text_.substr(pos, 1));
    *after = pos + 1;
    return true;
  }
  if (IsLetter(c)) {
    size_t word_end = WordEnd(pos, end);
    std::string_view word = text_.substr(pos, word_end - pos);
    const Operator* found = FindOperator(word);
    if (found == nullptr) return Fail(InvalidOperator(word));
    if (found->prefix) return Fail(std::string(kMisplacedOperator));
    *op = found;
    *after = word_end;
    return true;
  }
  // Anything else is operator text the language does not have.
  size_t e = pos + 1;
  while (e < end && !IsSpaceTabCrLf(text_[e]) && !IsWordChar(text_[e]) && !IsQuote(text_[e]) &&
         text_[e] != '(' && !IsCloser(text_[e]))
    ++e;
  return Fail(InvalidOperator(text_.substr(pos, e - pos)));
}

// --- Scanning ---

size_t ExpressionCompiler::SkipSpace(size_t pos, size_t end) const {
  while (pos < end && IsSpaceTabCrLf(text_[pos]))
    ++pos;
  return pos;
}

size_t ExpressionCompiler::WordEnd(size_t pos, size_t end) const {
  while (pos < end && IsWordChar(text_[pos]))
    ++pos;
  return pos;
}

size_t ExpressionCompiler::QuoteEnd(size_t open, size_t end) const {
  char quote = text_[open];
  for (size_t i = open + 1; i < end; ++i) {
    if (text_[i] == '\\' && i + 1 < end && IsQuote(text_[i + 1])) {
      ++i;
    } else if (text_[i] == quote) {
      return i;
    }
  }
  return std::string_view::npos;
}

size_t ExpressionCompiler::GroupEnd(size_t open, size_t end) {
  std::string expected;
  for (size_t i = open; i < end; ++i) {
    char c = text_[i];
    if (IsQuote(c)) {
      i = QuoteEnd(i, end);
      if (i == std::string_view::npos) {
        Fail(std::string(kMismatchedQuotes));
        return std::string_view::npos;
      }
    } else if (c == '(' || c == '[') {
      expected += c == '(' ? ')' : ']';
    } else if (IsCloser(c)) {
      if (expected.empty() || expected.back() != c) break;
      expected.pop_back();
      if (expected.empty()) return i;
    }
  }
  Fail(std::string(kUnbalanced));
  return std::string_view::npos;
}

std::string_view ExpressionCompiler::TokenAt(size_t pos, size_t end) const {
  size_t e = pos;
  while (e < end && !IsSpaceTabCrLf(text_[e]))
    ++e;
  return text_.substr(pos, e - pos);
}

// --- Emitting ---

bool ExpressionCompiler::Put(int32_t next) {
  if (next < 0) return Fail("Expression is too large");
  write_ = static_cast<uint32_t>(next);
  return true;
}

bool ExpressionCompiler::Emit(uint16_t opcode) {
  return Put(code_->PutInt16(write_, opcode));
}

bool ExpressionCompiler::EmitInt(uint16_t opcode, int32_t a) {
  return Emit(opcode) && Put(code_->PutInt32(write_, static_cast<uint32_t>(a)));
}

bool ExpressionCompiler::EmitInt2(uint16_t opcode, int32_t a, int32_t b) {
  return EmitInt(opcode, a) && Put(code_->PutInt32(write_, static_cast<uint32_t>(b)));
}

bool ExpressionCompiler::EmitDouble(uint16_t opcode, double a) {
  return Emit(opcode) && Put(code_->PutDouble(write_, a));
}

int32_t ExpressionCompiler::Intern(std::string_view text) {
  // Entries added since the last look (by this compile or by function
  // registration) join the index; the first index of a text wins.
  for (; strings_seen_ < dictionary_->Count(); ++strings_seen_) {
    strings_.emplace(dictionary_->View(static_cast<int32_t>(strings_seen_)),
                     static_cast<int32_t>(strings_seen_));
  }
  auto found = strings_.find(text);
  if (found != strings_.end()) return found->second;
  return dictionary_->Add(text);
}

}  // namespace orin
