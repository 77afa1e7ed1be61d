#include "variables/decimal.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "util/ascii.h"
#include "util/byte_string.h"

namespace orin {

namespace {

mpd_context_t g_context;
std::once_flag g_context_once;
mpd_t* g_zero = nullptr;

void InitContext() {
  mpd_ieee_context(&g_context, MPD_DECIMAL64);
  g_context.traps = 0;
  g_zero = mpd_qnew();
  if (g_zero == nullptr) throw std::bad_alloc();
  mpd_qset_i32(g_zero, 0, &g_context, &g_context.status);
}

char* AllocateText(size_t bytes) {
  char* p = static_cast<char*>(std::malloc(bytes));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

char* CopyText(const char* text, size_t length, uint32_t* out_length, uint32_t* capacity) {
  char* p = AllocateText(length + 1);
  std::memcpy(p, text, length);
  p[length] = 0;
  if (out_length) *out_length = static_cast<uint32_t>(length);
  if (capacity) *capacity = static_cast<uint32_t>(length + 1);
  return p;
}

int DigitValue(char c, int base) {
  int d = HexValue(c);
  return d < base ? d : -1;
}

bool IsHexDigit(char c) {
  return DigitValue(c, 16) >= 0;
}

// Adopts a text that libmpdec allocated with its allocator (malloc).
char* AdoptMpdText(char* text, uint32_t* length, uint32_t* capacity) {
  size_t n = std::strlen(text);
  if (length) *length = static_cast<uint32_t>(n);
  if (capacity) *capacity = static_cast<uint32_t>(n + 1);
  return text;
}

const char* SpecialText(const mpd_t* value) {
  if (mpd_isnan(value)) return "NaN";
  return mpd_isnegative(value) ? "-Infinity" : "Infinity";
}

}  // namespace

const mpd_context_t* DecimalContext() {
  std::call_once(g_context_once, InitContext);
  return &g_context;
}

void CheckDecimalStatus(uint32_t status) {
  if (status & MPD_Malloc_error) throw std::bad_alloc();
}

mpd_t* NewDecimal() {
  DecimalContext();
  mpd_t* d = mpd_qnew();
  if (d == nullptr) throw std::bad_alloc();
  mpd_qcopy(d, g_zero, &g_context.status);
  return d;
}

const mpd_t* DecimalZero() {
  DecimalContext();
  return g_zero;
}

int32_t IntegerFromText(const char* bytes, int64_t length, bool* error) {
  *error = false;
  size_t n = MeasuredText(bytes, length).size();
  if (n == 0) {
    *error = true;
    return 0;
  }
  bool negative = bytes[0] == '-';
  size_t start = negative ? 1 : 0;
  int base = 10;
  if (!negative) {
    if (bytes[0] < '0' || bytes[0] > '9') {
      *error = true;
      return 0;
    }
    if (n >= 3 && bytes[0] == '0' && (bytes[1] == 'x' || bytes[1] == 'X') && IsHexDigit(bytes[2])) {
      base = 16;
      start = 2;
    }
  }
  // Unsigned arithmetic: the sum wraps silently, as 32-bit integers do.
  uint32_t sum = 0;
  uint32_t multiplier = negative ? 0xFFFFFFFFu : 1u;
  for (size_t i = n; i > start; --i) {
    int d = DigitValue(bytes[i - 1], base);
    if (d < 0) {
      *error = true;
      return 0;
    }
    sum += static_cast<uint32_t>(d) * multiplier;
    multiplier *= static_cast<uint32_t>(base);
  }
  return static_cast<int32_t>(sum);
}

mpd_t* DecimalFromText(mpd_t* target, const char* bytes, int64_t length, bool* error) {
  const mpd_context_t* ctx = DecimalContext();
  DecimalPtr fresh;
  if (target == nullptr) {
    fresh.reset(NewDecimal());
    target = fresh.get();
  }
  *error = false;
  size_t n = MeasuredText(bytes, length).size();
  uint32_t status = 0;
  if (n == 0 || std::memchr(bytes, 0, n) != nullptr) {
    *error = n != 0;
    mpd_qcopy(target, g_zero, &status);
    return fresh ? fresh.release() : target;
  }
  // libmpdec wants a terminated text: copy on the stack when short.
  char small[106];
  std::unique_ptr<char[]> large;
  char* text = small;
  if (n >= sizeof small) {
    large.reset(new char[n + 1]);
    text = large.get();
  }
  std::memcpy(text, bytes, n);
  text[n] = 0;
  mpd_qset_string(target, text, ctx, &status);
  CheckDecimalStatus(status);
  if (status & MPD_Conversion_syntax) {
    status = 0;
    bool hex =
        n >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && IsHexDigit(text[2]);
    char* end = nullptr;
    long long value = hex ? std::strtoll(text, &end, 16) : 0;
    if (hex && end == text + n) {
      mpd_qset_i64(target, value, ctx, &status);
    } else {
      *error = true;
      mpd_qcopy(target, g_zero, &status);
    }
    CheckDecimalStatus(status);
  }
  return fresh ? fresh.release() : target;
}

mpd_t* DecimalFromInteger(mpd_t* target, int32_t value) {
  const mpd_context_t* ctx = DecimalContext();
  if (target == nullptr) target = NewDecimal();
  uint32_t status = 0;
  mpd_qset_i32(target, value, ctx, &status);
  CheckDecimalStatus(status);
  return target;
}

uint32_t FormatInteger(int32_t value, char* out) {
  auto r = std::to_chars(out, out + 12, value);
  *r.ptr = 0;
  return static_cast<uint32_t>(r.ptr - out);
}

char* TextFromInteger(int32_t value, uint32_t* length, uint32_t* capacity) {
  char text[16];
  uint32_t n = FormatInteger(value, text);
  return CopyText(text, n, length, capacity);
}

char* TextFromDecimal(const mpd_t* value, uint32_t* length, uint32_t* capacity) {
  const mpd_context_t* ctx = DecimalContext();
  if (mpd_isspecial(value)) {
    const char* s = SpecialText(value);
    return CopyText(s, std::strlen(s), length, capacity);
  }
  ScratchDecimal reduced;
  uint32_t status = 0;
  mpd_qreduce(reduced.get(), value, ctx, &status);
  char* text = mpd_qformat(reduced.get(), "f", ctx, &status);
  CheckDecimalStatus(status);
  if (text == nullptr) throw std::bad_alloc();
  return AdoptMpdText(text, length, capacity);
}

char* FixedTextFromDecimal(const mpd_t* value, int32_t places, uint32_t* length,
                           uint32_t* capacity) {
  const mpd_context_t* ctx = DecimalContext();
  if (mpd_isspecial(value)) {
    const char* s = SpecialText(value);
    return CopyText(s, std::strlen(s), length, capacity);
  }
  if (places < 0) places = 0;
  if (places > kMaxFixedPlaces) places = kMaxFixedPlaces;
  // libmpdec rounds only when fewer places than the value has are asked
  // for; the rest are zeros, appended here so that a large place count
  // never builds a huge coefficient.
  int64_t own = value->exp < 0 ? -static_cast<int64_t>(value->exp) : 0;
  int32_t formatted = places < own ? places : static_cast<int32_t>(own);
  char format[24];
  std::snprintf(format, sizeof format, ".%df", formatted);
  uint32_t status = 0;
  char* text = mpd_qformat(value, format, ctx, &status);
  CheckDecimalStatus(status);
  if (text == nullptr) throw std::bad_alloc();
  size_t n = std::strlen(text);
  size_t pad = static_cast<size_t>(places - formatted);
  if (pad == 0) return AdoptMpdText(text, length, capacity);
  size_t total = n + pad + (formatted == 0 ? 1 : 0);
  char* out = static_cast<char*>(std::realloc(text, total + 1));
  if (out == nullptr) {
    std::free(text);
    throw std::bad_alloc();
  }
  if (formatted == 0) out[n++] = '.';
  std::memset(out + n, '0', pad);
  out[total] = 0;
  if (length) *length = static_cast<uint32_t>(total);
  if (capacity) *capacity = static_cast<uint32_t>(total + 1);
  return out;
}

bool DecimalIsInt32(const mpd_t* value, int32_t* out) {
  if (mpd_isspecial(value)) return false;
  uint32_t status = 0;
  int32_t i = mpd_qget_i32(value, &status);
  if (status != 0) return false;
  *out = i;
  return true;
}

int32_t IntegerFromDecimal(const mpd_t* value) {
  if (mpd_isnan(value)) return 0;
  if (mpd_isinfinite(value)) return mpd_isnegative(value) ? -2147483647 : 2147483647;
  int32_t i;
  if (DecimalIsInt32(value, &i)) return i;
  ScratchDecimal truncated;
  uint32_t status = 0;
  mpd_qtrunc(truncated.get(), value, DecimalContext(), &status);
  CheckDecimalStatus(status);
  if (DecimalIsInt32(truncated.get(), &i)) return i;
  return 2147483647;
}

mpd_t* DecimalFromDouble(mpd_t* target, double value) {
  bool error;
  if (std::isnan(value)) return DecimalFromText(target, "NaN", 3, &error);
  if (std::isinf(value)) {
    return value > 0 ? DecimalFromText(target, "Infinity", 8, &error)
                     : DecimalFromText(target, "-Infinity", 9, &error);
  }
  char text[64];
  auto r = std::to_chars(text, text + sizeof text, value);
  return DecimalFromText(target, text, r.ptr - text, &error);
}

double DoubleFromDecimal(const mpd_t* value) {
  if (mpd_isnan(value)) return std::nan("");
  if (mpd_isinfinite(value)) return mpd_isnegative(value) ? -HUGE_VAL : HUGE_VAL;
  uint32_t n;
  std::unique_ptr<char, decltype(&std::free)> text(TextFromDecimal(value, &n, nullptr), &std::free);
  double d = 0.0;
  auto r = std::from_chars(text.get(), text.get() + n, d);
  if (r.ec == std::errc() && r.ptr == text.get() + n) return d;
  if (r.ec == std::errc::result_out_of_range) {
    double limit = mpd_adjexp(value) > 0 ? HUGE_VAL : 0.0;
    return mpd_isnegative(value) ? -limit : limit;
  }
  return 0.0;
}

bool TextIsTrue(const char* bytes, size_t length) {
  bool point = false;
  for (size_t i = 0; i < length; ++i) {
    if (bytes[i] == '0') continue;
    if (bytes[i] == '.' && !point) {
      point = true;
      continue;
    }
    return true;
  }
  return false;
}

}  // namespace orin
