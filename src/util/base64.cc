#include "util/base64.h"

#include <cstdint>

namespace orin {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8 |
                 static_cast<uint8_t>(bytes[i + 2]);
    out.push_back(kAlphabet[v >> 18]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back(kAlphabet[v & 63]);
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out.push_back(kAlphabet[v >> 18]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out) {
  out->clear();
  uint32_t bits = 0;
  int count = 0;  // characters of the current group
  int padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      if (count < 2) return false;
      ++padding;
      bits <<= 6;
      if (++count == 4) {
        out->push_back(static_cast<char>(bits >> 16));
        if (padding == 1) out->push_back(static_cast<char>(bits >> 8));
        count = 0, bits = 0;
      }
      continue;
    }
    int v = Value(c);
    if (v < 0 || padding > 0) return false;
    bits = bits << 6 | static_cast<uint32_t>(v);
    if (++count == 4) {
      out->push_back(static_cast<char>(bits >> 16));
      out->push_back(static_cast<char>(bits >> 8));
      out->push_back(static_cast<char>(bits));
      count = 0, bits = 0;
    }
  }
  if (count == 0) return true;
  if (count == 1 || padding > 0) return false;
  // Unpadded tail of 2 or 3 characters.
  bits <<= 6 * (4 - count);
  out->push_back(static_cast<char>(bits >> 16));
  if (count == 3) out->push_back(static_cast<char>(bits >> 8));
  return true;
}

}  // namespace orin
