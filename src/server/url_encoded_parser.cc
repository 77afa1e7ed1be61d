#include "server/url_encoded_parser.h"

#include "util/ascii.h"

namespace orin {
namespace {

// Escapes are not validated: any byte counts, 'Z' - 55 for a letter.
int UncheckedHexValue(char c) {
  int u = static_cast<unsigned char>(AsciiUpper(c));
  return u < 'A' ? u - '0' : u - 55;
}

// Where the plain run of a name or value ends: at the next byte with a
// meaning of its own.
size_t RunEnd(const char* data, size_t from, size_t end, bool in_name) {
  for (size_t i = from; i < end; ++i) {
    char c = data[i];
    if (c == '%' || c == '&' || c == '+' || (in_name && c == '=')) return i;
  }
  return end;
}

}  // namespace

bool URLEncodedParser::EndPair() {
  bool ok = AddVariable(name_.view(), value_.view());
  name_.Clear();
  value_.Clear();
  return ok;
}

bool URLEncodedParser::Feed(const char* data, int32_t length) {
  if (state_ == State::kFailed) return false;
  size_t n = length > 0 ? static_cast<size_t>(length) : 0;
  size_t i = 0;
  while (i < n) {
    if (state_ == State::kNameEscape || state_ == State::kValueEscape) {
      hex_[hex_count_++] = data[i++];
      if (hex_count_ < 2) continue;
      hex_count_ = 0;
      char byte = static_cast<char>(UncheckedHexValue(hex_[0]) * 16 + UncheckedHexValue(hex_[1]));
      bool in_name = state_ == State::kNameEscape;
      if (!AppendBytes(in_name ? &name_ : &value_, &byte, 1)) return Fail();
      state_ = in_name ? State::kName : State::kValue;
      continue;
    }
    bool in_name = state_ == State::kName;
    ByteString* target = in_name ? &name_ : &value_;
    size_t end = RunEnd(data, i, n, in_name);
    if (!AppendBytes(target, data + i, end - i)) return Fail();
    i = end;
    if (i == n) break;
    char c = data[i++];
    if (c == '%') {
      state_ = in_name ? State::kNameEscape : State::kValueEscape;
    } else if (c == '+') {
      if (!AppendBytes(target, " ", 1)) return Fail();
    } else if (c == '=') {
      state_ = State::kValue;
    } else if (!EndPair()) {  // '&'
      return Fail();
    } else {
      state_ = State::kName;
    }
  }
  return true;
}

bool URLEncodedParser::Finish() {
  switch (state_) {
    case State::kFailed:
      return false;
    case State::kName:
      if (name_.empty()) return true;
      break;
    default:
      break;
  }
  hex_count_ = 0;
  state_ = State::kName;
  return EndPair() || Fail();
}

}  // namespace orin
