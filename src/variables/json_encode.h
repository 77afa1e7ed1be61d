// JSON encoding of a Variable into a LinkBuffer.
//
// Structures become objects (members in element order), arrays become
// arrays (indices dropped, gaps closed), and scalars are written by type:
// none as "", integers and finite decimals bare, texts bare when they are
// numbers of fewer than 16 integer digits (a leading 0 only as "0" or
// "0."), else quoted and escaped. The formatter decides the layout: compact,
// or one item per line indented by tabs.
//
// The walk keeps its own stack, so nesting depth is unlimited; a value that
// contains itself is written as "" where it would repeat.
#ifndef ORIN_VARIABLES_JSON_ENCODE_H_
#define ORIN_VARIABLES_JSON_ENCODE_H_

#include <cstddef>
#include <cstdint>

namespace orin {

class LinkBuffer;
class Variable;

// Encoding options.
constexpr uint32_t kJsonIndent = 1;    // indented layout
constexpr uint32_t kJsonLiterals = 2;  // texts "true" and "false" as literals

class JSONEncoderFormatter {
 public:
  // `utf8`: the program's character set is UTF-8 (multi-byte sequences are
  // escaped as one code point each).
  JSONEncoderFormatter(bool utf8, uint32_t options, LinkBuffer* out)
      : utf8_(utf8), options_(options), out_(out) {}
  virtual ~JSONEncoderFormatter() = default;

  virtual void BeginObject();
  virtual void EndObject();
  virtual void BeginArray();
  virtual void EndArray();
  virtual void Separator();
  virtual void MemberName(const char* name, size_t length);
  virtual void Scalar(Variable* variable);
  virtual void LineBreak() {}

 protected:
  bool utf8_;
  uint32_t options_;
  LinkBuffer* out_;
};

class JSONEncoderPrettyFormatter : public JSONEncoderFormatter {
 public:
  using JSONEncoderFormatter::JSONEncoderFormatter;

  void BeginObject() override;
  void EndObject() override;
  void BeginArray() override;
  void EndArray() override;
  void MemberName(const char* name, size_t length) override;
  void LineBreak() override;

 private:
  int32_t depth_ = 0;
};

// Writes `value` as JSON to `out`.
void JsonEncode(Variable* value, uint32_t options, bool utf8, LinkBuffer* out);
// Writes the escaped bytes (without quotes); shared with the JavaScript
// string encoder.
void JsonEscape(const char* bytes, size_t length, bool utf8, LinkBuffer* out);

}  // namespace orin

#endif  // ORIN_VARIABLES_JSON_ENCODE_H_
