#include "util/html_encode.h"

namespace orin {

void AppendHtmlEncoded(std::string* out, std::string_view text, HtmlEncoding encoding) {
  bool markup = encoding == HtmlEncoding::kMarkup;
  out->reserve(out->size() + text.size() + text.size() / 8);
  for (char c : text) {
    const char* entity = nullptr;
    switch (c) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        entity = markup ? "&#39;" : nullptr;
        break;
      case '(':
        entity = markup ? nullptr : "&#40;";
        break;
      case ')':
        entity = markup ? nullptr : "&#41;";
        break;
      default:
        break;
    }
    if (entity != nullptr) {
      *out += entity;
    } else {
      *out += c;
    }
  }
}

}  // namespace orin
