#include "core/encodings.h"

#include <errno.h>
#include <iconv.h>

#include "core/text.h"

namespace orin_std {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kHexLower[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string At(size_t index) {
  return " at position " + std::to_string(index + 1);
}

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Length of the well-formed UTF-8 sequence at `i`, 0 when there is none.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;   // overlong
    if (c == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  auto b = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = b(i) << 16 | b(i + 1) << 8 | b(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6)
      out.push_back(kBase64[(v >> shift) & 63]);
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = b(i) << 16 | (rest == 2 ? b(i + 1) << 8 : 0);
    out.push_back(kBase64[(v >> 18) & 63]);
    out.push_back(kBase64[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kBase64[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out, std::string* error) {
  out->clear();
  uint32_t acc = 0;
  int bits = 0;
  size_t padding = 0;
  size_t symbols = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++padding;
      if (padding > 2) {
        *error = "too much padding" + At(i);
        return false;
      }
      continue;
    }
    int v = Base64Value(c);
    if (v < 0 || padding > 0) {
      *error = std::string(v < 0 ? "invalid character" : "data after the padding") + At(i);
      return false;
    }
    ++symbols;
    acc = acc << 6 | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  // One symbol alone carries no whole byte; padding must complete a quantum.
  if (symbols % 4 == 1 || (padding > 0 && (symbols + padding) % 4 != 0)) {
    *error = "the text ends in the middle of a group";
    return false;
  }
  return true;
}

std::string HexEncode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(kHexLower[c >> 4]);
    out.push_back(kHexLower[c & 15]);
  }
  return out;
}

bool HexDecode(std::string_view text, std::string* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (HexValue(static_cast<unsigned char>(text[i])) < 0) {
      *error = "invalid hexadecimal digit" + At(i);
      return false;
    }
  }
  if (text.size() % 2 != 0) {
    *error = "odd number of hexadecimal digits";
    return false;
  }
  out->reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    out->push_back(static_cast<char>(HexValue(static_cast<unsigned char>(text[i])) << 4 |
                                     HexValue(static_cast<unsigned char>(text[i + 1]))));
  }
  return true;
}

std::string UrlEncode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHexUpper[c >> 4]);
      out.push_back(kHexUpper[c & 15]);
    }
  }
  return out;
}

bool UrlDecode(std::string_view text, std::string* out, std::string* error) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out->push_back(' ');
    } else if (c != '%') {
      out->push_back(c);
    } else {
      int hi = i + 1 < text.size() ? HexValue(static_cast<unsigned char>(text[i + 1])) : -1;
      int lo = i + 2 < text.size() ? HexValue(static_cast<unsigned char>(text[i + 2])) : -1;
      if (hi < 0 || lo < 0) {
        *error = "invalid escape '" + std::string(text.substr(i, 3)) + "'" + At(i);
        return false;
      }
      out->push_back(static_cast<char>(hi << 4 | lo));
      i += 2;
    }
  }
  return true;
}

std::string HtmlEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string HtmlDecode(std::string_view text) {
  static const std::pair<std::string_view, uint32_t> kNamed[] = {
      {"amp", '&'},   {"lt", '<'},    {"gt", '>'},    {"quot", '"'},
      {"apos", '\''}, {"nbsp", 0xA0}, {"copy", 0xA9}, {"reg", 0xAE}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    size_t semi;
    if (text[i] != '&' || (semi = text.find(';', i + 1)) == std::string_view::npos ||
        semi - i > 12) {
      out.push_back(text[i]);
      continue;
    }
    std::string_view name = text.substr(i + 1, semi - i - 1);
    bool decoded = false;
    if (name.size() >= 2 && name[0] == '#') {
      bool hex = name[1] == 'x' || name[1] == 'X';
      std::string_view digits = name.substr(hex ? 2 : 1);
      uint32_t cp = 0;
      bool ok = !digits.empty() && digits.size() <= 7;
      for (char d : digits) {
        int v =
            hex ? HexValue(static_cast<unsigned char>(d)) : (d >= '0' && d <= '9' ? d - '0' : -1);
        if (v < 0) ok = false;
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v < 0 ? 0 : v);
      }
      if (ok && cp > 0 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
        AppendUtf8(&out, cp);
        decoded = true;
      }
    } else {
      for (const auto& [entity, cp] : kNamed) {
        if (name == entity) {
          AppendUtf8(&out, cp);
          decoded = true;
          break;
        }
      }
    }
    if (decoded) {
      i = semi;
    } else {
      out.push_back('&');
    }
  }
  return out;
}

size_t Utf8InvalidAt(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t n = Utf8SequenceAt(text, i);
    if (n == 0) return i + 1;
    i += n;
  }
  return 0;
}

size_t Utf8Length(std::string_view text) {
  size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

bool Utf8Sub(std::string_view text, int64_t start, int64_t length, std::string_view* out,
             std::string* error) {
  if (size_t bad = Utf8InvalidAt(text)) {
    *error = "the text is not UTF-8" + At(bad - 1);
    return false;
  }
  int64_t count = static_cast<int64_t>(Utf8Length(text));
  if (start < 1 || start > count + 1) {
    *error = "position " + std::to_string(start) + " is outside the text (1 to " +
             std::to_string(count + 1) + ")";
    return false;
  }
  if (length < 0) {
    *error = "length " + std::to_string(length) + " is negative";
    return false;
  }
  size_t i = 0;
  for (int64_t skipped = 1; skipped < start; ++skipped)
    i += Utf8SequenceAt(text, i);
  size_t end = i;
  for (int64_t taken = 0; taken < length && end < text.size(); ++taken) {
    end += Utf8SequenceAt(text, end);
  }
  *out = text.substr(i, end - i);
  return true;
}

bool ConvertCharset(std::string_view text, std::string_view from, std::string_view to,
                    std::string* out, std::string* error) {
  std::string from_name(from), to_name(to);
  if (from_name.find('\0') != std::string::npos || to_name.find('\0') != std::string::npos) {
    *error = "a character set name contains a NUL byte";
    return false;
  }
  iconv_t cd = iconv_open(to_name.c_str(), from_name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // Name the set iconv does not know.
    iconv_t probe = iconv_open(to_name.c_str(), "UTF-8");
    bool to_known = probe != reinterpret_cast<iconv_t>(-1);
    if (to_known) iconv_close(probe);
    *error = "unknown character set '" + std::string((to_known ? from : to).substr(0, 32)) + "'";
    return false;
  }
  out->clear();
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char buffer[4096];
  bool ok = true;
  while (ok) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    size_t r = in_left > 0 ? iconv(cd, &in, &in_left, &o, &o_left)
                           : iconv(cd, nullptr, nullptr, &o, &o_left);  // shift back
    out->append(buffer, static_cast<size_t>(o - buffer));
    if (r != static_cast<size_t>(-1)) {
      // glibc counts irreversible conversions; a character set without the
      // character is an error, not a silent '?'.
      if (r > 0) {
        *error = "a character cannot be written in " + std::string(to.substr(0, 32));
        ok = false;
      }
      if (in_left == 0) break;
      continue;
    }
    if (errno == E2BIG) continue;
    size_t at = text.size() - in_left;
    *error = errno == EILSEQ ? "invalid or unconvertible sequence" + At(at)
                             : "incomplete sequence at the end of the text";
    ok = false;
  }
  if (ok && out->size() > kMaxResultBytes) {
    *error = "the result is too large";
    ok = false;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace orin_std
