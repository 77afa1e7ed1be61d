// HTTPContentParser: turns a request body, fed in pieces of any size, into
// variables. FormContentParser adds what the two form parsers share: the
// scope the fields go to and the limit on how many there may be.
//
// A parser lives for one request. Feed and Finish return false once the body
// is refused, with the reason in ErrorText; a refused parser refuses every
// later piece.
#ifndef ORIN_SERVER_CONTENT_PARSER_H_
#define ORIN_SERVER_CONTENT_PARSER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "util/byte_string.h"

namespace orin {

class VariableHash;

class HTTPContentParser {
 public:
  HTTPContentParser() = default;
  virtual ~HTTPContentParser() = default;
  HTTPContentParser(const HTTPContentParser&) = delete;
  HTTPContentParser& operator=(const HTTPContentParser&) = delete;

  // The next piece of the body.
  virtual bool Feed(const char* data, int32_t length) = 0;
  // The body ended (all of it, or as much as the client sent).
  virtual bool Finish() = 0;

  const std::string& ErrorText() const { return error_; }
  void SetError(std::string text) { error_ = std::move(text); }

 private:
  std::string error_;
};

inline constexpr std::string_view kTooManyPostVariables =
    "Maximum number of POST variables exceeded";
inline constexpr std::string_view kInputTooLong = "Input data exceeds maximum length";

class FormContentParser : public HTTPContentParser {
 public:
  // `max_variables` 0 (or negative) means no limit.
  FormContentParser(VariableHash* scope, int32_t max_variables)
      : scope_(scope), max_variables_(max_variables) {}

  int32_t count() const { return count_; }

 protected:
  // Counts one more field and stores it through the scope's SetFromText,
  // a repeated name becoming an array. False (with the message) beyond the
  // limit; the field is then not stored.
  bool AddVariable(std::string_view name, std::string_view value);
  // Appends to a growing name or value; false (with the message) when it
  // would pass the longest byte string there may be.
  bool AppendBytes(ByteString* buffer, const char* bytes, size_t length);

 private:
  VariableHash* scope_;
  int32_t max_variables_;
  int32_t count_ = 0;
};

}  // namespace orin

#endif  // ORIN_SERVER_CONTENT_PARSER_H_
