// Bodies kept whole and handed to the program as system variables:
// JSONContentParser (application/json) decodes the body into the read-only
// structure `json_data`; UnknownContentHandler (any other type the
// configuration admits) keeps it as it came. Both add the read-only
// `content_data` with the raw bytes.
//
// The buffer is meant for the announced Content-Length, but a client can
// announce far more than it sends, so it grows as bytes arrive; bytes past
// the announced length are not kept.
#ifndef ORIN_SERVER_BUFFERED_CONTENT_PARSER_H_
#define ORIN_SERVER_BUFFERED_CONTENT_PARSER_H_

#include <cstdint>
#include <string_view>

#include "server/content_parser.h"

namespace orin {

class ImmutableVariable;

class BufferedContentParser : public HTTPContentParser {
 public:
  // Fails with "Out of memory" when the buffer cannot grow.
  bool Feed(const char* data, int32_t length) override;

  const ByteString& body() const { return body_; }

 protected:
  BufferedContentParser(VariableHash* system_scope, int64_t content_length);

  // Locks `variable` and puts it into the system scope under its name,
  // replacing a variable of that name.
  void AddReadOnly(ImmutableVariable* variable);
  // A locked `content_data` holding the body.
  void AddContentData();

 private:
  VariableHash* scope_;
  int64_t expected_;
  ByteString body_;
};

class JSONContentParser : public BufferedContentParser {
 public:
  JSONContentParser(VariableHash* system_scope, int64_t content_length)
      : BufferedContentParser(system_scope, content_length) {}
  // Adds `content_data` and `json_data` in any case; false with the
  // decoder's message when the body is no valid JSON.
  bool Finish() override;
};

class UnknownContentHandler : public BufferedContentParser {
 public:
  UnknownContentHandler(VariableHash* system_scope, int64_t content_length)
      : BufferedContentParser(system_scope, content_length) {}
  bool Finish() override;
};

}  // namespace orin

#endif  // ORIN_SERVER_BUFFERED_CONTENT_PARSER_H_
