#include "libraries/text_codecs.h"

#include <cstdint>

#include "util/html_encode.h"

namespace orin {

namespace {

void AppendUtf8(std::string* out, uint32_t code) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The code point of a numeric entity body ("#65", "#x41"); false when it
// is not one or names no character.
bool NumericEntity(std::string_view body, uint32_t* code) {
  if (body.size() < 2 || body[0] != '#') return false;
  bool hex = body[1] == 'x' || body[1] == 'X';
  std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      d = static_cast<uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      d = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    value = value * (hex ? 16 : 10) + d;
  }
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *code = value;
  return true;
}

}  // namespace

std::string EntityEncoded(std::string_view text) {
  return HtmlEncoded(text, HtmlEncoding::kMarkup);
}

std::string AttributeEncoded(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        AppendHtmlEncoded(&out, std::string_view(&c, 1), HtmlEncoding::kMarkup);
    }
  }
  return out;
}

std::string EntityDecoded(std::string_view text) {
  static const struct {
    std::string_view name;
    const char* text;
  } kNamed[] = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t semicolon = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
    if (semicolon == std::string_view::npos || semicolon - i > 12) {
      out += text[i++];
      continue;
    }
    std::string_view body = text.substr(i + 1, semicolon - i - 1);
    uint32_t code;
    bool done = false;
    if (NumericEntity(body, &code)) {
      AppendUtf8(&out, code);
      done = true;
    } else {
      for (const auto& n : kNamed) {
        if (body == n.name) {
          out += n.text;
          done = true;
          break;
        }
      }
    }
    if (done) {
      i = semicolon + 1;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string JavaScriptStringEncoded(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\'':
        out += "\\'";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '/':
        out += i > 0 && text[i - 1] == '<' ? "\\/" : "/";
        break;
      default:
        if (c < 0x20) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

}  // namespace orin
