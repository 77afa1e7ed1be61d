#include "variables/json_decode.h"

#include <cstring>
#include <vector>

#include "util/ascii.h"
#include "variables/variable.h"

namespace orin {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

JSONDecoder::JSONDecoder(Variable* target, const char* text, size_t length)
    : target_(target), text_(text), length_(length) {}

JSONDecoder::Token JSONDecoder::Fail(std::string_view message, std::string_view detail,
                                     bool quoted) {
  char number[16];
  error_.Assign("Line #");
  error_.Append(number, FormatInteger(line_, number));
  error_.Append(" - Syntax error: ");
  error_.Append(message);
  if (quoted) {
    error_.Append('\'');
    error_.Append(detail);
    error_.Append('\'');
  }
  return Token::kError;
}

JSONDecoder::Token JSONDecoder::Next() {
  if (has_pushed_) {
    has_pushed_ = false;
    return pushed_;
  }
  while (pos_ < length_) {
    char c = text_[pos_];
    if (c == '\n') {
      ++line_;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      break;
    }
    ++pos_;
  }
  if (pos_ >= length_) return Token::kEnd;
  char c = text_[pos_];
  switch (c) {
    case '{':
      ++pos_;
      return Token::kBeginObject;
    case '}':
      ++pos_;
      return Token::kEndObject;
    case '[':
      ++pos_;
      return Token::kBeginArray;
    case ']':
      ++pos_;
      return Token::kEndArray;
    case ':':
      ++pos_;
      return Token::kColon;
    case ',':
      ++pos_;
      return Token::kComma;
    case '"':
      return ReadString();
    case 't':
    case 'f':
    case 'n':
      return ReadLiteral();
    default:
      if (c == '-' || IsDigit(c)) return ReadNumber();
      return Fail("Unexpected character ", std::string_view(&text_[pos_], 1), true);
  }
}

JSONDecoder::Token JSONDecoder::ReadLiteral() {
  static const struct {
    const char* word;
    size_t length;
    Token token;
  } kWords[] = {{"true", 4, Token::kTrue}, {"false", 5, Token::kFalse}, {"null", 4, Token::kNull}};
  for (const auto& w : kWords) {
    if (length_ - pos_ >= w.length && std::memcmp(text_ + pos_, w.word, w.length) == 0) {
      pos_ += w.length;
      return w.token;
    }
  }
  return Fail("Expected TRUE, FALSE, or NULL");
}

JSONDecoder::Token JSONDecoder::ReadNumber() {
  size_t start = pos_;
  auto digit_here = [this] { return pos_ < length_ && IsDigit(text_[pos_]); };
  Token kind = Token::kInteger;
  if (text_[pos_] == '-') {
    ++pos_;
    if (!digit_here()) return Fail("Expected 0-9 after the negative sign");
  }
  if (text_[pos_] == '0') {
    ++pos_;
  } else {
    while (digit_here())
      ++pos_;
  }
  if (pos_ < length_ && text_[pos_] == '.') {
    ++pos_;
    if (!digit_here()) return Fail("Expected a number after the period");
    while (digit_here())
      ++pos_;
    kind = Token::kNumber;
  }
  if (pos_ < length_ && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
    ++pos_;
    if (pos_ < length_ && (text_[pos_] == '+' || text_[pos_] == '-')) {
      ++pos_;
      if (!digit_here()) return Fail("Expected 0-9 after the exponent");
    } else if (!digit_here()) {
      return Fail("Expected +/- or 0-9 after the exponent");
    }
    while (digit_here())
      ++pos_;
    kind = Token::kNumber;
  }
  token_ = std::string_view(text_ + start, pos_ - start);
  return kind;
}

bool JSONDecoder::ReadHex4(uint32_t* value) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    int d = HexValue(text_[pos_ + i]);
    if (d < 0) return false;
    v = v << 4 | static_cast<uint32_t>(d);
  }
  *value = v;
  return true;
}

void JSONDecoder::AppendCodePoint(uint32_t cp, bool pair) {
  char out[4];
  size_t n;
  if (pair) {
    cp &= 0x1FFFFF;
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 4;
  } else if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 2;
  } else {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 3;
  }
  string_.Append(out, n);
}

JSONDecoder::Token JSONDecoder::ReadString() {
  ++pos_;  // the opening quote
  string_.SetSize(0);
  // An unterminated string runs to the end of the input.
  while (pos_ < length_) {
    size_t run = pos_;
    while (pos_ < length_ && text_[pos_] != '"' && text_[pos_] != '\\') {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    string_.Append(text_ + run, pos_ - run);
    if (pos_ >= length_) break;
    if (text_[pos_++] == '"') break;
    if (pos_ >= length_) break;  // a backslash as the last byte
    char e = text_[pos_++];
    switch (e) {
      case '"':
      case '\\':
      case '/':
        string_.Append(e);
        break;
      case 'b':
        string_.Append('\b');
        break;
      case 'f':
        string_.Append('\f');
        break;
      case 'n':
        string_.Append('\n');
        break;
      case 'r':
        string_.Append('\r');
        break;
      case 't':
        string_.Append('\t');
        break;
      case 'u': {
        if (length_ - pos_ < 4) return Fail("Invalid hex sequence");
        uint32_t cp;
        if (!ReadHex4(&cp)) {
          return Fail("Invalid hex sequence ", std::string_view(text_ + pos_, 4), true);
        }
        pos_ += 4;
        if (cp < 0xD800 || cp > 0xDFFF) {
          AppendCodePoint(cp, false);
          break;
        }
        if (length_ - pos_ < 6 || text_[pos_] != '\\' || text_[pos_ + 1] != 'u') {
          return Fail("Invalid multi-byte hex sequence");
        }
        pos_ += 2;
        uint32_t low;
        if (!ReadHex4(&low)) {
          return Fail("Invalid multi-byte hex sequence ", std::string_view(text_ + pos_, 4), true);
        }
        pos_ += 4;
        AppendCodePoint(0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), true);
        break;
      }
      default:
        return Fail("Unexpected escape character ", std::string_view(&e, 1), true);
    }
  }
  token_ = string_.view();
  return Token::kString;
}

bool JSONDecoder::Error(std::string_view message) {
  Fail(message);
  return false;
}

bool JSONDecoder::StoreValue(Token t, Variable* slot, bool* opened) {
  *opened = false;
  switch (t) {
    case Token::kBeginObject:
    case Token::kBeginArray:
      slot->Clear();  // a repeated member starts afresh
      slot->ConvertToAggregate(t == Token::kBeginObject ? kKindStructure : kKindArray);
      *opened = true;
      return true;
    case Token::kString:
    case Token::kInteger:
    case Token::kNumber:
      slot->SetValue(token_.data(), static_cast<int64_t>(token_.size()));
      return true;
    case Token::kTrue:
      slot->SetValue_Integer(1);
      return true;
    case Token::kFalse:
      slot->SetValue_Integer(0);
      return true;
    case Token::kNull:
      slot->SetValue("", 0);
      return true;
    case Token::kError:
      return false;
    default:
      Fail("Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL");
      return false;
  }
}

bool JSONDecoder::Parse() {
  Token t = Next();
  if (t == Token::kError) return false;
  if (t != Token::kBeginObject && t != Token::kBeginArray) return Error("Expected { or [");
  struct Open {
    Variable* container;
    bool object;
    int32_t next_index;
  };
  std::vector<Open> open;
  bool object = t == Token::kBeginObject;
  target_->ConvertToAggregate(object ? kKindStructure : kKindArray);
  open.push_back({target_, object, 1});
  bool first = true;
  while (!open.empty()) {
    Open& top = open.back();
    t = Next();
    if (t == Token::kError) return false;
    Variable* slot;
    if (top.object) {
      if (t == Token::kEndObject) {
        open.pop_back();
        first = false;
        continue;
      }
      if (t == Token::kEnd) return Error("Expected }");
      if (!first) {
        if (t != Token::kComma) return Error("Expected COMMA or }");
        t = Next();
        if (t == Token::kError) return false;
      }
      if (t != Token::kString) return Error("Expected STRING");
      t = Next();  // leaves the name in string_
      if (t == Token::kError) return false;
      if (t != Token::kColon) return Error("Expected COLON");
      slot = top.container->Element(AggregateIndex::Member(string_.view()), true);
    } else {
      if (t == Token::kEndArray) {
        open.pop_back();
        first = false;
        continue;
      }
      if (t == Token::kEnd) return Error("Expected ]");
      if (!first) {
        if (t != Token::kComma) return Error("Expected COMMA or ]");
      } else {
        has_pushed_ = true;
        pushed_ = t;
      }
      slot = top.container->Element(AggregateIndex(top.next_index++), true);
    }
    t = Next();
    bool opened;
    if (!StoreValue(t, slot, &opened)) return false;
    first = opened;
    if (opened) open.push_back({slot, t == Token::kBeginObject, 1});
  }
  t = Next();
  if (t == Token::kError) return false;
  if (t != Token::kEnd) return Error("Expected end of file");
  return true;
}

bool JSONDecoder::Decode() {
  pos_ = 0;
  line_ = 1;
  has_pushed_ = false;
  error_.Clear();
  target_->Clear();
  if (Parse()) return true;
  target_->Clear();
  return false;
}

bool JsonDecode(std::string_view text, Variable* target, ByteString* error) {
  JSONDecoder decoder(target, text.data(), text.size());
  bool ok = decoder.Decode();
  if (!ok && error != nullptr) *error = decoder.ErrorText();
  return ok;
}

}  // namespace orin
