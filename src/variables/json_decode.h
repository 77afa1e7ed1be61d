// JSONDecoder: JSON text into a Variable.
//
// Objects become structures (a repeated name overwrites the earlier member;
// names are case-insensitive), arrays become arrays indexed from 1 (an empty
// array is still an array), strings texts with their escapes decoded (\u to
// UTF-8, surrogate pairs to 4 bytes), numbers the text exactly as written,
// true and false the integers 1 and 0, null the empty text. The top level
// must be an object or an array.
//
// The parser keeps its own stack of open containers, so any nesting depth
// is decoded without recursion. It stops at the first error, clears the
// target and leaves "Line #<n> - Syntax error: <message>" in ErrorText().
#ifndef ORIN_VARIABLES_JSON_DECODE_H_
#define ORIN_VARIABLES_JSON_DECODE_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "util/byte_string.h"

namespace orin {

class Variable;

class JSONDecoder {
 public:
  // `text` must stay valid while Decode runs.
  JSONDecoder(Variable* target, const char* text, size_t length);

  // Clears the target and fills it; false on a syntax error.
  bool Decode();
  const ByteString& ErrorText() const { return error_; }
  int32_t line() const { return line_; }

 private:
  enum class Token {
    kBeginObject,
    kEndObject,
    kBeginArray,
    kEndArray,
    kEnd,
    kColon,
    kComma,
    kInteger,
    kNumber,
    kString,
    kTrue,
    kFalse,
    kNull,
    kError,
  };

  Token Next();
  Token ReadString();
  Token ReadNumber();
  Token ReadLiteral();
  bool ReadHex4(uint32_t* value);
  void AppendCodePoint(uint32_t code_point, bool pair);
  Token Fail(std::string_view message, std::string_view detail = {}, bool quoted = false);
  bool Error(std::string_view message);
  bool Parse();
  // Stores a scalar token's value into `slot`, or opens a container.
  bool StoreValue(Token t, Variable* slot, bool* opened);

  Variable* target_;
  const char* text_;
  size_t length_;
  size_t pos_ = 0;
  int32_t line_ = 1;
  bool has_pushed_ = false;
  Token pushed_ = Token::kEnd;
  std::string_view token_;  // a number's text, or a view of string_
  ByteString string_;       // a string token's decoded bytes
  ByteString error_;
};

// Convenience: decodes `text` into `target`; on failure *error (if given)
// holds the message.
bool JsonDecode(std::string_view text, Variable* target, ByteString* error);

}  // namespace orin

#endif  // ORIN_VARIABLES_JSON_DECODE_H_
