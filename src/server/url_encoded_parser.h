// URLEncodedParser: "a=1&b=x+y&c=%41" into variables, for the query string
// and for application/x-www-form-urlencoded bodies.
//
// A byte-driven state machine, so a body may arrive in any number of
// pieces, an escape cut between two of them included. "+" is a space; "%"
// and the next two characters are one byte, the characters not checked
// (a digit counts as its value, anything else as its upper-case code minus
// 55). A name without "=" gets an empty value. Names are passed on exactly
// as decoded: "a%3d1" is a variable named "a=1".
#ifndef ORIN_SERVER_URL_ENCODED_PARSER_H_
#define ORIN_SERVER_URL_ENCODED_PARSER_H_

#include "server/content_parser.h"

namespace orin {

class URLEncodedParser : public FormContentParser {
 public:
  // The query string uses no limit (0); a form body `maxpostvars`.
  URLEncodedParser(VariableHash* scope, int32_t max_variables)
      : FormContentParser(scope, max_variables) {}

  bool Feed(const char* data, int32_t length) override;
  // Stores the pair still pending; an escape cut short is dropped.
  bool Finish() override;

 private:
  enum class State { kName, kValue, kNameEscape, kValueEscape, kFailed };

  bool EndPair();
  bool Fail() {
    state_ = State::kFailed;
    return false;
  }

  State state_ = State::kName;
  ByteString name_;
  ByteString value_;
  char hex_[2] = {0, 0};
  int hex_count_ = 0;
};

}  // namespace orin

#endif  // ORIN_SERVER_URL_ENCODED_PARSER_H_
