// HTML encoding of text written into a page: & < > and the double quote
// always become entities. Values placed in markup also encode the apostrophe
// (attributes may be quoted either way); error texts encode the parentheses
// instead, as clients of error pages have always received them.
#ifndef ORIN_UTIL_HTML_ENCODE_H_
#define ORIN_UTIL_HTML_ENCODE_H_

#include <string>
#include <string_view>

namespace orin {

enum class HtmlEncoding {
  kMarkup,     // & < > " '
  kErrorText,  // & < > " ( )
};

void AppendHtmlEncoded(std::string* out, std::string_view text, HtmlEncoding encoding);

inline std::string HtmlEncoded(std::string_view text, HtmlEncoding encoding) {
  std::string out;
  AppendHtmlEncoded(&out, text, encoding);
  return out;
}

}  // namespace orin

#endif  // ORIN_UTIL_HTML_ENCODE_H_
