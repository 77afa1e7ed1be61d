// ASCII-only letter case, as names in scripts are compared: only A-Z and a-z
// change case; every other byte, including 0x80-0xFF, is taken as it is.
#ifndef ORIN_UTIL_ASCII_H_
#define ORIN_UTIL_ASCII_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orin {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

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

}  // namespace orin

#endif  // ORIN_UTIL_ASCII_H_
