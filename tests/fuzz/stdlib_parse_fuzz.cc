// The standard library's text parsers: patterns, dates and formats,
// decoders, numbers. The first byte picks the parser; the rest is split at
// the first newline into two texts (pattern and subject, format and text).
// Decoders must round-trip what they accept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/dates.h"
#include "core/encodings.h"
#include "core/numbers.h"
#include "core/regex.h"

using namespace orin_std;

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t cut = input.find('\n');
  std::string_view a = input.substr(0, cut);
  std::string_view b = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
  std::string out, error;
  std::string_view piece;
  int64_t n = 0;
  switch (data[0] % 12) {
    case 0: {
      auto re = Regex::Compile(a, &error);
      if (re == nullptr) break;
      std::vector<std::optional<std::string_view>> groups;
      std::vector<std::string_view> pieces;
      re->Find(b, 0, &groups, &error);
      re->FindAll(b, &pieces, &error);
      re->Split(b, &pieces, &error);
      re->ReplaceAll(b, "[$0]", &out, &error);
      re->Names();
      break;
    }
    case 1:
      ParseTime(b, a, "Europe/Berlin", &n, &error);
      break;
    case 2:
      ParseTime(input, "", "UTC", &n, &error);
      break;
    case 3:
      if (FormatTime(1700000000, input, "America/New_York", &out, &error)) {
        Check(out.size() < 64 * input.size() + 64);
      }
      break;
    case 4:
      if (Base64Decode(input, &out, &error)) {
        std::string again;
        Check(Base64Decode(Base64Encode(out), &again, &error) && again == out);
      }
      break;
    case 5:
      if (HexDecode(input, &out, &error)) Check(HexEncode(out).size() == input.size());
      break;
    case 6:
      if (UrlDecode(input, &out, &error)) {
        std::string again;
        Check(UrlDecode(UrlEncode(out), &again, &error) && again == out);
      }
      break;
    case 7:
      out = HtmlDecode(input);
      Check(HtmlDecode(HtmlEncode(input)) == input);
      break;
    case 8:
      if (Utf8InvalidAt(input) == 0) {
        Check(Utf8Sub(input, 1, static_cast<int64_t>(Utf8Length(input)), &piece, &error));
        Check(piece == input);
      }
      break;
    case 9:
      ConvertCharset(b, a.substr(0, 24), "UTF-8", &out, &error);
      break;
    case 10:
      if (NumberRound(a, 2, &out, &error)) Check(IsNumber(out));
      FormatNumber(a, 3, ",", ".", &out, &error);
      WholeNumber(a, &n, &error);
      break;
    case 11:
      NumberBinary(Binary::kPow, a, b, &out, &error);
      NumberUnary(Unary::kLn, a, &out, &error);
      break;
  }
  return 0;
}
