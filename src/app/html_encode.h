// The HTML encoding of error texts written to the client: " & ( ) < > become
// entities; every other byte is copied.
#ifndef ORIN_APP_HTML_ENCODE_H_
#define ORIN_APP_HTML_ENCODE_H_

#include <string>
#include <string_view>

namespace orin {

inline std::string HtmlEncodeErrorText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '(': out += "&#40;"; break;
      case ')': out += "&#41;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace orin

#endif  // ORIN_APP_HTML_ENCODE_H_
