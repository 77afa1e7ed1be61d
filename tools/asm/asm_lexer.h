// Tokens of the assembler's source language, one line at a time.
#ifndef ORIN_TOOLS_ASM_ASM_LEXER_H_
#define ORIN_TOOLS_ASM_ASM_LEXER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

struct AsmToken {
  enum Kind {
    kIdent,      // name, mnemonic or label
    kDirective,  // .name (text without the dot)
    kNumber,     // integer or floating-point literal
    kString,     // "..." with escapes decoded (text holds the bytes)
    kAt,         // @N: a dictionary index (number holds N)
    kDollar,     // $
    kAmp,        // &
    kLParen,
    kRParen,
    kComma,
    kEquals,
    kColon,
  };
  Kind kind;
  std::string text;
  // kNumber and kAt: the value. An integer literal sets is_integer and
  // both fields; a floating-point literal sets only real.
  bool is_integer = false;
  bool negative = false;
  uint64_t magnitude = 0;  // absolute value of an integer literal
  double real = 0;
  size_t column = 0;
};

// Splits one line (comments start with ';' or '#'). On a lexical error
// returns false with *error set.
bool LexLine(std::string_view line, std::vector<AsmToken>* tokens, std::string* error);

// Characters a bare name may contain (the first one may not be a digit or '-').
bool IsNameStart(char c);
bool IsNameChar(char c);

// The source form of a byte string: double quotes, C-like escapes for
// quotes, backslashes and bytes outside printable ASCII.
std::string QuoteBytes(std::string_view bytes);
// A name as the source language writes it: bare when possible, else quoted.
std::string NameForm(std::string_view name);

}  // namespace orin

#endif  // ORIN_TOOLS_ASM_ASM_LEXER_H_
