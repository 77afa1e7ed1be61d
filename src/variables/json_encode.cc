#include "variables/json_encode.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "variables/link_buffer.h"
#include "variables/value_walk.h"
#include "variables/variable.h"

namespace orin {

namespace {

bool Plain(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case ' ':
    case '$':
    case '+':
    case ',':
    case '-':
    case '.':
    case ':':
    case '@':
    case '_':
      return true;
    default:
      return false;
  }
}

void Escape16(uint32_t unit, LinkBuffer* out) {
  out->Concat("\\u", 2);
  out->Concat_HexChar(static_cast<uint8_t>(unit >> 8));
  out->Concat_HexChar(static_cast<uint8_t>(unit));
}

bool Continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Length of the UTF-8 sequence at `p` (2 to 4) and its code point, or 0.
size_t Utf8Sequence(const unsigned char* p, size_t left, uint32_t* cp) {
  unsigned char c = p[0];
  size_t n;
  uint32_t v;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    v = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    v = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF7) {
    n = 4;
    v = c & 0x07;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if (!Continuation(p[i])) return 0;
    v = v << 6 | (p[i] & 0x3F);
  }
  *cp = v;
  return n;
}

void Quoted(const char* bytes, size_t length, bool utf8, LinkBuffer* out) {
  out->Concat_Char('"');
  JsonEscape(bytes, length, utf8, out);
  out->Concat_Char('"');
}

// Whether a numeric text may be written bare.
bool BareNumber(const ByteString& text, const mpd_t* value) {
  if (!mpd_isfinite(value)) return false;
  if (text[0] == '0' && text.size() > 1 && text[1] != '.') return false;
  return mpd_iszero(value) || mpd_adjexp(value) < 15;  // fewer than 16 integer digits
}

void WriteDecimalText(const mpd_t* value, LinkBuffer* out) {
  uint32_t n, capacity;
  std::unique_ptr<char, decltype(&std::free)> text(TextFromDecimal(value, &n, &capacity),
                                                   &std::free);
  out->Concat(text.get(), n);
}

}  // namespace

void JsonEscape(const char* bytes, size_t length, bool utf8, LinkBuffer* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < length) {
    size_t run = i;
    while (i < length && Plain(p[i]))
      ++i;
    if (i > run) out->Concat(bytes + run, i - run);
    if (i >= length) break;
    unsigned char c = p[i];
    const char* two = nullptr;
    switch (c) {
      case '"':
        two = "\\\"";
        break;
      case '/':
        two = "\\/";
        break;
      case '\\':
        two = "\\\\";
        break;
      case '\b':
        two = "\\b";
        break;
      case '\t':
        two = "\\t";
        break;
      case '\n':
        two = "\\n";
        break;
      case '\f':
        two = "\\f";
        break;
      case '\r':
        two = "\\r";
        break;
    }
    if (two != nullptr) {
      out->Concat(two, 2);
      ++i;
      continue;
    }
    uint32_t cp;
    size_t n = utf8 ? Utf8Sequence(p + i, length - i, &cp) : 0;
    if (n == 0) {
      Escape16(c, out);
      ++i;
    } else if (n < 4) {
      Escape16(cp, out);
      i += n;
    } else {
      cp -= 0x10000;
      Escape16(0xD800 + ((cp >> 10) & 0x3FF), out);
      Escape16(0xDC00 + (cp & 0x3FF), out);
      i += n;
    }
  }
}

void JSONEncoderFormatter::BeginObject() {
  out_->Concat_Char('{');
  LineBreak();
}

void JSONEncoderFormatter::EndObject() {
  LineBreak();
  out_->Concat_Char('}');
}

void JSONEncoderFormatter::BeginArray() {
  out_->Concat_Char('[');
  LineBreak();
}

void JSONEncoderFormatter::EndArray() {
  LineBreak();
  out_->Concat_Char(']');
}

void JSONEncoderFormatter::Separator() {
  out_->Concat_Char(',');
  LineBreak();
}

void JSONEncoderFormatter::MemberName(const char* name, size_t length) {
  Quoted(name, length, utf8_, out_);
  out_->Concat_Char(':');
}

void JSONEncoderFormatter::Scalar(Variable* variable) {
  switch (variable->ScalarType()) {
    case kTypeInteger:
      out_->Concat_Int(variable->Value_Integer());
      return;
    case kTypeDecimal: {
      const mpd_t* d = variable->Value_Decimal();
      if (mpd_isfinite(d)) {
        WriteDecimalText(d, out_);
      } else {
        const ByteString& text = variable->Value();
        Quoted(text.data(), text.size(), utf8_, out_);
      }
      return;
    }
    case kTypeText: {
      const ByteString& text = variable->Value();
      if (text.empty()) break;
      if ((options_ & kJsonLiterals) && (text == "true" || text == "false")) {
        out_->Concat(text.view());
        return;
      }
      bool not_number;
      const mpd_t* d = variable->Value_Decimal_Checked(&not_number);
      if (!not_number && BareNumber(text, d)) {
        WriteDecimalText(d, out_);
        return;
      }
      const ByteString& again = variable->Value();
      Quoted(again.data(), again.size(), utf8_, out_);
      return;
    }
    default:
      break;
  }
  out_->Concat("\"\"", 2);
}

void JSONEncoderPrettyFormatter::BeginObject() {
  out_->Concat_Char('{');
  ++depth_;
  LineBreak();
}

void JSONEncoderPrettyFormatter::EndObject() {
  --depth_;
  LineBreak();
  out_->Concat_Char('}');
}

void JSONEncoderPrettyFormatter::BeginArray() {
  out_->Concat_Char('[');
  ++depth_;
  LineBreak();
}

void JSONEncoderPrettyFormatter::EndArray() {
  --depth_;
  LineBreak();
  out_->Concat_Char(']');
}

void JSONEncoderPrettyFormatter::MemberName(const char* name, size_t length) {
  JSONEncoderFormatter::MemberName(name, length);
  out_->Concat_Char(' ');
}

void JSONEncoderPrettyFormatter::LineBreak() {
  out_->Concat_Char('\n');
  for (int32_t i = 0; i < depth_; ++i)
    out_->Concat_Char('\t');
}

namespace {

class Encoder {
 public:
  explicit Encoder(JSONEncoderFormatter* f) : f_(f) {}

  void Enter(Variable* aggregate, const AggregateElement* element, AggregateElementTree*) {
    Item(element);
    bool object = aggregate->AggregateKind() == kKindStructure;
    if (object) {
      f_->BeginObject();
    } else {
      f_->BeginArray();
    }
    open_.push_back({object, true});
  }
  void Leave(Variable*) {
    if (open_.back().object) {
      f_->EndObject();
    } else {
      f_->EndArray();
    }
    open_.pop_back();
  }
  void Scalar(Variable* v, const AggregateElement* element) {
    Item(element);
    f_->Scalar(v);
  }
  void Cycle(Variable*, const AggregateElement* element) {
    VarRef empty = NewVariable();
    Scalar(empty.get(), element);
  }

 private:
  struct Open {
    bool object;
    bool first;
  };

  // Separator and member name before an item inside an aggregate.
  void Item(const AggregateElement* element) {
    if (element == nullptr || open_.empty()) return;
    Open& parent = open_.back();
    if (!parent.first) f_->Separator();
    parent.first = false;
    if (parent.object) {
      std::string_view name = element->Key().name();
      f_->MemberName(name.data(), name.size());
    }
  }

  JSONEncoderFormatter* f_;
  std::vector<Open> open_;
};

}  // namespace

void JsonEncode(Variable* value, uint32_t options, bool utf8, LinkBuffer* out) {
  std::unique_ptr<JSONEncoderFormatter> f;
  if (options & kJsonIndent) {
    f = std::make_unique<JSONEncoderPrettyFormatter>(utf8, options, out);
  } else {
    f = std::make_unique<JSONEncoderFormatter>(utf8, options, out);
  }
  Encoder encoder(f.get());
  WalkValue(value, encoder);
}

}  // namespace orin
