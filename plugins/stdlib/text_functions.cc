// str_... and the UTF-8 and character-set functions.
#include "call.h"
#include "core/encodings.h"
#include "core/text.h"
#include "functions.h"

namespace orin_std {

void StrLen(Call& c) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnInteger(static_cast<int64_t>(text.size()));
}

void StrSub(Call& c) {
  std::string_view text, piece;
  int64_t start, length;
  std::string error;
  if (!c.Text(0, &text) || !c.Integer(1, &start) || !c.Integer(2, &length)) return;
  if (!SubText(text, start, length, &piece, &error)) return void(c.Fail(error));
  c.ReturnText(piece);
}

void StrFind(Call& c) {
  std::string_view text, needle;
  int64_t start, position;
  std::string error;
  if (!c.Text(0, &text) || !c.Text(1, &needle) || !c.Integer(2, &start)) return;
  if (!FindText(text, needle, start, &position, &error)) return void(c.Fail(error));
  c.ReturnInteger(position);
}

void StrRfind(Call& c) {
  std::string_view text, needle;
  if (c.Text(0, &text) && c.Text(1, &needle)) c.ReturnInteger(FindLastText(text, needle));
}

void StrStarts(Call& c) {
  std::string_view text, prefix;
  if (c.Text(0, &text) && c.Text(1, &prefix)) c.ReturnBool(text.starts_with(prefix));
}

void StrEnds(Call& c) {
  std::string_view text, suffix;
  if (c.Text(0, &text) && c.Text(1, &suffix)) c.ReturnBool(text.ends_with(suffix));
}

void StrReplace(Call& c) {
  std::string_view text, search, replacement;
  std::string out, error;
  if (!c.Text(0, &text) || !c.Text(1, &search) || !c.Text(2, &replacement)) return;
  if (!ReplaceText(text, search, replacement, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void StrUpper(Call& c) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnText(UpperText(text));
}

void StrLower(Call& c) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnText(LowerText(text));
}

static void Trim(Call& c, TrimSide side) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnText(TrimText(text, side));
}
void StrTrim(Call& c) {
  Trim(c, TrimSide::kBoth);
}
void StrLtrim(Call& c) {
  Trim(c, TrimSide::kLeft);
}
void StrRtrim(Call& c) {
  Trim(c, TrimSide::kRight);
}

static void Pad(Call& c, bool left) {
  std::string_view text, fill;
  int64_t width;
  std::string out, error;
  if (!c.Text(0, &text) || !c.Integer(1, &width) || !c.Text(2, &fill)) return;
  if (!PadText(text, width, fill, left, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}
void StrLpad(Call& c) {
  Pad(c, true);
}
void StrRpad(Call& c) {
  Pad(c, false);
}

void StrSplit(Call& c) {
  std::string_view text, separator;
  std::vector<std::string_view> pieces;
  std::string error;
  if (!c.Text(0, &text) || !c.Text(1, &separator)) return;
  if (!SplitText(text, separator, &pieces, &error)) return void(c.Fail(error));
  for (size_t i = 0; i < pieces.size(); ++i) {
    StoreIndexText(c.result(), static_cast<int32_t>(i + 1), pieces[i]);
  }
}

void StrJoin(Call& c) {
  ztVariable* list;
  bool is_array;
  std::string_view separator;
  if (!c.Aggregate(0, &list, &is_array) || !c.Text(1, &separator)) return;
  ElementList elements(list);
  std::string out;
  bool first = true;
  for (const Element& e : elements.elements()) {
    if (ztVariable_Aggregate_Type(e.value) != ZT_AGGREGATE_SCALAR) {
      return void(c.Fail("element " + (e.is_index ? std::to_string(e.index) : e.name) +
                         " is not a single value"));
    }
    if (!first) out.append(separator);
    first = false;
    int32_t length = 0;
    const char* bytes = ztVariable_Value(e.value, &length);
    out.append(bytes, static_cast<size_t>(length));
    if (out.size() > kMaxResultBytes) return void(c.Fail("the result is too large"));
  }
  c.ReturnText(out);
}

void StrRepeat(Call& c) {
  std::string_view text;
  int64_t count;
  std::string out, error;
  if (!c.Text(0, &text) || !c.Integer(1, &count)) return;
  if (!RepeatText(text, count, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void Utf8Valid(Call& c) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnBool(Utf8InvalidAt(text) == 0);
}

void Utf8Len(Call& c) {
  std::string_view text;
  if (!c.Text(0, &text)) return;
  if (size_t bad = Utf8InvalidAt(text)) {
    return void(c.Fail("the text is not UTF-8 at position " + std::to_string(bad)));
  }
  c.ReturnInteger(static_cast<int64_t>(Utf8Length(text)));
}

void Utf8SubFn(Call& c) {
  std::string_view text, piece;
  int64_t start, length;
  std::string error;
  if (!c.Text(0, &text) || !c.Integer(1, &start) || !c.Integer(2, &length)) return;
  if (!Utf8Sub(text, start, length, &piece, &error)) return void(c.Fail(error));
  c.ReturnText(piece);
}

void CharsetConvert(Call& c) {
  std::string_view text, from, to;
  std::string out, error;
  if (!c.Text(0, &text) || !c.Text(1, &from) || !c.Text(2, &to)) return;
  if (!ConvertCharset(text, from, to, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

}  // namespace orin_std
