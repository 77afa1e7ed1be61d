// CallBuffer: reads a response body in blocks and splits it into HTML/XML
// objects: text runs and tags (with their element name and attributes),
// comments, CDATA sections and other declarations.
#ifndef ORIN_NETWORK_CALL_BUFFER_H_
#define ORIN_NETWORK_CALL_BUFFER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orin {

struct HtmlObject {
  bool is_tag = false;
  std::string raw;      // the text, or the whole tag with '<' and '>'
  std::string element;  // a tag's element name ("/p" for an end tag)
  std::vector<std::pair<std::string, std::string>> attributes;
};

class CallBuffer {
 public:
  // `source` fills up to `size` bytes: the count, 0 at the end, -1 on
  // failure (with its message in *error).
  using Source = std::function<int32_t(char* buffer, int32_t size, std::string* error)>;

  CallBuffer(Source source, int32_t block_size);

  // The next object: 1, 0 when the body has ended, -1 on failure.
  int Next(HtmlObject* object);
  const std::string& ErrorText() const { return error_; }

 private:
  // The next character, or -1 at the end (or on failure: then failed_).
  int Get();
  int Peek();
  bool ReadTag(HtmlObject* object);
  bool ReadDeclaration(HtmlObject* object);

  Source source_;
  std::string block_;
  size_t position_ = 0;
  size_t filled_ = 0;
  bool ended_ = false;
  bool failed_ = false;
  std::string error_;
};

// Splits a tag's text ("<a href=x b>") into element name and attributes.
void ParseTag(std::string_view tag, std::string* element,
              std::vector<std::pair<std::string, std::string>>* attributes);

}  // namespace orin

#endif  // ORIN_NETWORK_CALL_BUFFER_H_
