// ASCII character classes, independent of the locale. Letter case as names
// in scripts are compared: only A-Z and a-z change case; every other byte,
// including 0x80-0xFF, is taken as it is.
#ifndef ORIN_UTIL_ASCII_H_
#define ORIN_UTIL_ASCII_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orin {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// White space as isspace() sees it in the C locale: space, tab, LF, VT, FF, CR.
inline bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
// The narrower white space of expressions and flag lists: space, tab, CR, LF.
inline bool IsSpaceTabCrLf(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
// Space or tab, the white space inside one header line.
inline bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// `text` without the space, tab, CR and LF at either end.
inline std::string_view TrimSpaceTabCrLf(std::string_view text) {
  while (!text.empty() && IsSpaceTabCrLf(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsSpaceTabCrLf(text.back()))
    text.remove_suffix(1);
  return text;
}
// `text` without the spaces and tabs at either end.
inline std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// The value of a hexadecimal digit of either case, or -1.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Order of names inside a hash chain: shorter names first; names of equal
// length by their first differing byte, lower-cased and taken as a signed
// 8-bit value (so bytes 0x80-0xFF sort below every ASCII byte).
inline int CompareChainOrder(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<int8_t>(AsciiLower(a[i]));
    auto y = static_cast<int8_t>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// Case-insensitive ordering by bytes (unsigned), the shorter of two names
// that agree on their common part sorting first.
inline int CompareNoCase(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// The non-empty pieces of a comma-separated list, each trimmed of space,
// tab, CR and LF ("a, b,,c " gives a, b, c).
inline std::vector<std::string_view> SplitCommaList(std::string_view list) {
  std::vector<std::string_view> out;
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view piece = TrimSpaceTabCrLf(list.substr(0, comma));
    if (!piece.empty()) out.push_back(piece);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return out;
}

}  // namespace orin

#endif  // ORIN_UTIL_ASCII_H_
