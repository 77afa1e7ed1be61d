// ExpressionCompiler: turns an expression given as text at run time (the
// call of a ZtDO function, filters, expressions from libraries) into code
// in a new segment of a program.
//
// The language: operands are quoted strings ('..' or "..", where \' and \"
// stand for the quote), numbers (digits with at most one '.', or 0x and hex
// digits; a + or - right before the digits is a sign), variable names with
// "[index]" subscripts and ":member" steps (d.field and alias.d.field are
// database fields), function calls name(arg, ...) and groups (...).
// Operators (letter case ignored), tighter binding first:
//
//   ++ --                     prefix, 8 (a variable is stored back)
//   NOT ISNULL                prefix, 6
//   ROUNDS ROUNDF CRYPT POW   5
//   * / MOD                   4
//   + - $ BITAND BITOR BITXOR BITSL BITSR   3;  BITOC prefix, 3
//   IN CIN EIN ECIN EQ NE GE LE LT GT       2
//   AND OR                    1
//
// Binary operators of equal precedence group from the left; a prefix
// operator takes everything after it that binds at least as tightly.
//
// The same text compiled again into the same program gives the same code:
// strings reuse the dictionary entry that already holds them, functions the
// registration the first compile made. A failed compile adds no segment
// (strings and function registrations it made stay).
#ifndef ORIN_VM_EXPRESSION_COMPILER_H_
#define ORIN_VM_EXPRESSION_COMPILER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orin {

class Dictionary;
class ExternalCallManager;
class Function;
class FunctionManager;
class Segment;
class SegmentManager;

class ExpressionCompiler {
 public:
  // Groups and prefix operators nest at most this deep.
  static constexpr int kMaxNesting = 200;

  // Code goes into `segments`, strings into `dictionary`, calls to
  // functions of `functions`. A function missing there is taken from
  // `second_functions` (external ones only; the calling program's, for
  // ZtDO) or from `calls` (the builtin libraries) and registered in
  // `functions`. `second_functions` and `calls` may be null.
  ExpressionCompiler(ExternalCallManager* calls, SegmentManager* segments, Dictionary* dictionary,
                     FunctionManager* functions, FunctionManager* second_functions = nullptr);
  ~ExpressionCompiler();
  ExpressionCompiler(const ExpressionCompiler&) = delete;
  ExpressionCompiler& operator=(const ExpressionCompiler&) = delete;

  // Where the code says it comes from: a `sourcefile` for a non-empty
  // file name and a `lineno` for a line other than 0 open the code.
  void SetSource(std::string_view file, int32_t line);

  // Compiles `text` into a new segment of the program; null with ErrorText
  // when the text is not a valid expression.
  Segment* Compile(std::string_view text);
  const std::string& ErrorText() const { return error_; }

  // A row of the operator table (expression_compiler.cc).
  struct Operator;

 private:
  class Nesting;

  // Parsing over [pos, end) of the text; each emits code and returns false
  // with error_ set on a fault.
  bool Range(size_t begin, size_t end);
  bool Binary(size_t& pos, size_t end, int min_precedence);
  // `create`: a variable operand with the creating element and member
  // instructions; *variable tells whether the operand was one.
  bool Operand(size_t& pos, size_t end, bool create, bool* variable);
  bool Prefix(const Operator& op, size_t& pos, size_t end);
  bool NameOperand(size_t& pos, size_t end, bool create, bool* variable);
  bool VariableName(size_t begin, size_t end, bool create);
  bool Call(std::string_view name, size_t open, size_t close);
  bool Number(size_t& pos, size_t end);
  bool QuotedString(size_t& pos, size_t end);
  // Reads the operator at pos (after an operand): *op and where it ends.
  bool ReadOperator(size_t pos, size_t end, const Operator** op, size_t* after);
  Function* FindFunction(std::string_view name);

  // Scanning helpers.
  size_t SkipSpace(size_t pos, size_t end) const;
  size_t WordEnd(size_t pos, size_t end) const;
  // The closing bracket matching the one at `open`, or npos with error_.
  size_t GroupEnd(size_t open, size_t end);
  // The closing quote of the string starting at `open`, or npos.
  size_t QuoteEnd(size_t open, size_t end) const;
  // The text up to the next white space, for messages.
  std::string_view TokenAt(size_t pos, size_t end) const;

  // Emitting.
  bool Emit(uint16_t opcode);
  bool EmitInt(uint16_t opcode, int32_t a);
  bool EmitInt2(uint16_t opcode, int32_t a, int32_t b);
  bool EmitDouble(uint16_t opcode, double a);
  bool Put(int32_t next);
  // The dictionary index of `text`, added when it is not there yet; -1
  // when it cannot be added.
  int32_t Intern(std::string_view text);

  bool Fail(std::string message);

  ExternalCallManager* calls_;
  SegmentManager* segments_;
  Dictionary* dictionary_;
  FunctionManager* functions_;
  FunctionManager* second_functions_;
  std::string source_file_;
  int32_t line_ = 0;

  std::string_view text_;
  std::unique_ptr<Segment> code_;
  uint32_t write_ = 0;
  int depth_ = 0;
  std::string error_;
  // Dictionary strings by content (the lowest index of each), for the
  // entries seen so far.
  std::unordered_map<std::string_view, int32_t> strings_;
  uint32_t strings_seen_ = 0;
};

}  // namespace orin

#endif  // ORIN_VM_EXPRESSION_COMPILER_H_
