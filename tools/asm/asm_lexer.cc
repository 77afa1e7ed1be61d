#include "asm/asm_lexer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "util/ascii.h"

namespace orin {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-';
}

namespace {

bool LexString(std::string_view line, size_t* i, std::string* out, std::string* error) {
  size_t p = *i + 1;
  while (p < line.size() && line[p] != '"') {
    char c = line[p++];
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (p >= line.size()) break;
    char e = line[p++];
    switch (e) {
      case 'n':
        out->push_back('\n');
        break;
      case 't':
        out->push_back('\t');
        break;
      case 'r':
        out->push_back('\r');
        break;
      case '0':
        out->push_back('\0');
        break;
      case '\\':
        out->push_back('\\');
        break;
      case '"':
        out->push_back('"');
        break;
      case '\'':
        out->push_back('\'');
        break;
      case 'x': {
        int hi = p < line.size() ? HexValue(line[p]) : -1;
        int lo = p + 1 < line.size() ? HexValue(line[p + 1]) : -1;
        if (hi < 0 || lo < 0) {
          *error = "\\x needs two hex digits";
          return false;
        }
        out->push_back(static_cast<char>(hi * 16 + lo));
        p += 2;
        break;
      }
      default:
        *error = std::string("unknown escape '\\") + e + "'";
        return false;
    }
  }
  if (p >= line.size()) {
    *error = "unterminated string";
    return false;
  }
  *i = p + 1;
  return true;
}

bool LexNumber(std::string_view line, size_t* i, AsmToken* t, std::string* error) {
  size_t start = *i, p = *i;
  if (line[p] == '-' || line[p] == '+') ++p;
  while (p < line.size() &&
         (IsNameChar(line[p]) || line[p] == '.' ||
          ((line[p] == '-' || line[p] == '+') && (line[p - 1] == 'e' || line[p - 1] == 'E')))) {
    ++p;
  }
  std::string text(line.substr(start, p - start));
  t->text = text;
  *i = p;
  bool negative = text[0] == '-';
  std::string body = (text[0] == '-' || text[0] == '+') ? text.substr(1) : text;
  bool hex = body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
  bool is_float = !hex && body.find_first_of(".eE") != std::string::npos;
  if (body == "inf" || body == "nan") is_float = true;
  char* end = nullptr;
  errno = 0;
  if (is_float) {
    t->real = std::strtod(text.c_str(), &end);
  } else {
    t->magnitude = std::strtoull(body.c_str(), &end, hex ? 16 : 10);
    t->is_integer = true;
    t->negative = negative;
    t->real = negative ? -static_cast<double>(t->magnitude) : static_cast<double>(t->magnitude);
  }
  if (end == nullptr || *end != '\0' || errno == ERANGE || body.empty()) {
    *error = "bad number '" + text + "'";
    return false;
  }
  return true;
}

}  // namespace

bool LexLine(std::string_view line, std::vector<AsmToken>* tokens, std::string* error) {
  tokens->clear();
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == ';' || c == '#') break;
    AsmToken t;
    t.column = i + 1;
    auto single = [&](AsmToken::Kind k) {
      t.kind = k;
      t.text = std::string(1, c);
      ++i;
    };
    if (c == '"') {
      t.kind = AsmToken::kString;
      if (!LexString(line, &i, &t.text, error)) return false;
    } else if (c == '.' && i + 1 < line.size() && IsNameStart(line[i + 1])) {
      t.kind = AsmToken::kDirective;
      size_t p = i + 1;
      while (p < line.size() && IsNameChar(line[p]))
        ++p;
      t.text = std::string(line.substr(i + 1, p - i - 1));
      i = p;
    } else if (IsNameStart(c)) {
      t.kind = AsmToken::kIdent;
      size_t p = i;
      while (p < line.size() && IsNameChar(line[p]))
        ++p;
      t.text = std::string(line.substr(i, p - i));
      if (t.text == "inf" || t.text == "nan") {
        t.kind = AsmToken::kNumber;
        if (!LexNumber(line, &i, &t, error)) return false;
      }
      i = p;
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
      t.kind = AsmToken::kNumber;
      if (!LexNumber(line, &i, &t, error)) return false;
    } else if (c == '@') {
      ++i;
      size_t p = i;
      while (p < line.size() && IsNameChar(line[p]))
        ++p;
      if (p == i || !LexNumber(line.substr(0, p), &i, &t, error) || !t.is_integer || t.negative) {
        *error = "@ needs a dictionary index";
        return false;
      }
      t.kind = AsmToken::kAt;
    } else if (c == '$') {
      single(AsmToken::kDollar);
    } else if (c == '&') {
      single(AsmToken::kAmp);
    } else if (c == '(') {
      single(AsmToken::kLParen);
    } else if (c == ')') {
      single(AsmToken::kRParen);
    } else if (c == ',') {
      single(AsmToken::kComma);
    } else if (c == '=') {
      single(AsmToken::kEquals);
    } else if (c == ':') {
      single(AsmToken::kColon);
    } else {
      *error = std::string("unexpected character '") + c + "'";
      return false;
    }
    tokens->push_back(std::move(t));
  }
  return true;
}

std::string QuoteBytes(std::string_view bytes) {
  std::string s = "\"";
  for (char ch : bytes) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\n':
        s += "\\n";
        break;
      case '\t':
        s += "\\t";
        break;
      case '\r':
        s += "\\r";
        break;
      case '\\':
        s += "\\\\";
        break;
      case '"':
        s += "\\\"";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[5];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          s += buf;
        } else {
          s.push_back(static_cast<char>(c));
        }
    }
  }
  s.push_back('"');
  return s;
}

std::string NameForm(std::string_view name) {
  bool bare = !name.empty() && IsNameStart(name[0]) && name != "inf" && name != "nan";
  for (char c : name)
    bare = bare && IsNameChar(c);
  return bare ? std::string(name) : QuoteBytes(name);
}

}  // namespace orin
