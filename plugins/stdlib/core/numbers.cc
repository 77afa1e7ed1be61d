#include "core/numbers.h"

#include <mpdecimal.h>
#include <openssl/rand.h>

#include <memory>

#include "core/text.h"

namespace orin_std {

namespace {

struct Deleter {
  void operator()(mpd_t* d) const { mpd_del(d); }
};
using Dec = std::unique_ptr<mpd_t, Deleter>;

Dec NewDec() {
  mpd_t* d = mpd_qnew();
  if (d == nullptr) throw std::bad_alloc();
  return Dec(d);
}

// decimal64, as the host's script numbers.
mpd_context_t ScriptContext() {
  mpd_context_t ctx;
  mpd_ieee_context(&ctx, 64);
  ctx.round = MPD_ROUND_HALF_EVEN;
  ctx.traps = 0;
  return ctx;
}

std::string Quoted(std::string_view text) {
  std::string shown(text.substr(0, 40));
  if (text.size() > 40) shown += "...";
  return "'" + shown + "'";
}

bool Parse(std::string_view text, Dec* out, std::string* error) {
  std::string_view trimmed = TrimText(text, TrimSide::kBoth);
  *out = NewDec();
  uint32_t status = 0;
  // A wide context: the exact value is read, rounding comes with the operation.
  mpd_context_t ctx;
  mpd_maxcontext(&ctx);
  std::string copy(trimmed);
  bool bad = copy.empty() || copy.find('\0') != std::string::npos;
  if (!bad) {
    mpd_qset_string(out->get(), copy.c_str(), &ctx, &status);
    if (status & MPD_Malloc_error) throw std::bad_alloc();
    bad = (status & MPD_Conversion_syntax) || !mpd_isfinite(out->get());
  }
  if (bad) {
    *error = Quoted(text) + " is not a number";
    return false;
  }
  // To the script's 16 digits and exponent range: that is the number the
  // script means, and it keeps every later operation small.
  Dec rounded = NewDec();
  mpd_context_t script = ScriptContext();
  status = 0;
  mpd_qplus(rounded.get(), out->get(), &script, &status);
  if (status & MPD_Malloc_error) throw std::bad_alloc();
  if (!mpd_isfinite(rounded.get())) {
    *error = Quoted(text) + " is too large";
    return false;
  }
  *out = std::move(rounded);
  return true;
}

std::string ToText(const mpd_t* d) {
  char* text = mpd_to_sci(d, 1);
  if (text == nullptr) throw std::bad_alloc();
  std::string out(text);
  mpd_free(text);
  return out;
}

bool Finish(const mpd_t* result, uint32_t status, std::string* out, std::string* error) {
  if (status & MPD_Malloc_error) throw std::bad_alloc();
  if (status & MPD_Division_by_zero) {
    *error = "division by zero";
    return false;
  }
  if (status & MPD_Invalid_operation) {
    *error = "the operation is undefined for these numbers";
    return false;
  }
  if ((status & MPD_Overflow) || !mpd_isfinite(result)) {
    *error = "the result is too large";
    return false;
  }
  *out = ToText(result);
  return true;
}

}  // namespace

bool IsNumber(std::string_view text) {
  Dec d;
  std::string ignored;
  return Parse(text, &d, &ignored);
}

bool NumberUnary(Unary op, std::string_view x, std::string* out, std::string* error) {
  Dec a;
  if (!Parse(x, &a, error)) return false;
  Dec r = NewDec();
  mpd_context_t ctx = ScriptContext();
  uint32_t status = 0;
  switch (op) {
    case Unary::kFloor:
      mpd_qfloor(r.get(), a.get(), &ctx, &status);
      break;
    case Unary::kCeil:
      mpd_qceil(r.get(), a.get(), &ctx, &status);
      break;
    case Unary::kTrunc:
      mpd_qtrunc(r.get(), a.get(), &ctx, &status);
      break;
    case Unary::kAbs:
      mpd_qabs(r.get(), a.get(), &ctx, &status);
      break;
    case Unary::kSqrt:
      if (mpd_isnegative(a.get()) && !mpd_iszero(a.get())) {
        *error = "the square root of a negative number";
        return false;
      }
      mpd_qsqrt(r.get(), a.get(), &ctx, &status);
      break;
    case Unary::kExp:
      mpd_qexp(r.get(), a.get(), &ctx, &status);
      break;
    case Unary::kLn:
    case Unary::kLog10:
      if (mpd_isnegative(a.get()) || mpd_iszero(a.get())) {
        *error = "the logarithm of a number that is not positive";
        return false;
      }
      if (op == Unary::kLn) {
        mpd_qln(r.get(), a.get(), &ctx, &status);
      } else {
        mpd_qlog10(r.get(), a.get(), &ctx, &status);
      }
      break;
  }
  // Floor and friends of huge numbers are exact but may not fit 16 digits.
  status &= ~static_cast<uint32_t>(MPD_Inexact | MPD_Rounded);
  return Finish(r.get(), status, out, error);
}

bool NumberBinary(Binary op, std::string_view a_text, std::string_view b_text, std::string* out,
                  std::string* error) {
  Dec a, b;
  if (!Parse(a_text, &a, error) || !Parse(b_text, &b, error)) return false;
  Dec r = NewDec();
  mpd_context_t ctx = ScriptContext();
  uint32_t status = 0;
  switch (op) {
    case Binary::kMin:
    case Binary::kMax: {
      int c = mpd_cmp(a.get(), b.get(), &ctx);
      const mpd_t* pick = (op == Binary::kMin) == (c <= 0) ? a.get() : b.get();
      mpd_qplus(r.get(), pick, &ctx, &status);
      break;
    }
    case Binary::kPow:
      mpd_qpow(r.get(), a.get(), b.get(), &ctx, &status);
      break;
    case Binary::kMod:
      if (mpd_iszero(b.get())) {
        *error = "division by zero";
        return false;
      }
      mpd_qrem(r.get(), a.get(), b.get(), &ctx, &status);
      break;
  }
  return Finish(r.get(), status, out, error);
}

bool NumberRound(std::string_view x, int64_t places, std::string* out, std::string* error) {
  if (places < -384 || places > 384) {
    *error = "places " + std::to_string(places) + " is outside -384 to 384";
    return false;
  }
  Dec a;
  if (!Parse(x, &a, error)) return false;
  Dec r = NewDec();
  mpd_context_t ctx;
  mpd_maxcontext(&ctx);
  ctx.round = MPD_ROUND_HALF_UP;
  uint32_t status = 0;
  mpd_qrescale(r.get(), a.get(), -places, &ctx, &status);
  // 1234.5 to the hundreds is 1200, not 1.2E+3.
  if (places < 0) mpd_qrescale(r.get(), r.get(), 0, &ctx, &status);
  if (status & MPD_Malloc_error) throw std::bad_alloc();
  // Back to the script's precision (a no-op for every ordinary case).
  Dec s = NewDec();
  mpd_context_t script = ScriptContext();
  uint32_t script_status = 0;
  mpd_qplus(s.get(), r.get(), &script, &script_status);
  return Finish(s.get(), (status & MPD_Invalid_operation) | script_status, out, error);
}

bool FormatNumber(std::string_view x, int64_t decimals, std::string_view point,
                  std::string_view thousands, std::string* out, std::string* error) {
  if (decimals < 0 || decimals > 50) {
    *error = "decimals " + std::to_string(decimals) + " is outside 0 to 50";
    return false;
  }
  Dec a;
  if (!Parse(x, &a, error)) return false;
  Dec r = NewDec();
  mpd_context_t ctx;
  mpd_maxcontext(&ctx);
  ctx.round = MPD_ROUND_HALF_UP;
  uint32_t status = 0;
  mpd_qrescale(r.get(), a.get(), static_cast<mpd_ssize_t>(-decimals), &ctx, &status);
  if (status & MPD_Malloc_error) throw std::bad_alloc();
  if (status & MPD_Invalid_operation) {
    *error = "the number is too large to format";
    return false;
  }
  char* fixed = mpd_qformat(r.get(), "f", &ctx, &status);
  if (fixed == nullptr) throw std::bad_alloc();
  std::string plain(fixed);
  mpd_free(fixed);
  // plain is [-]digits[.digits]
  bool negative = !plain.empty() && plain[0] == '-';
  std::string_view digits(plain);
  if (negative) digits.remove_prefix(1);
  size_t dot = digits.find('.');
  std::string_view whole = digits.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? "" : digits.substr(dot + 1);
  if (whole.size() / 3 * thousands.size() + point.size() > kMaxResultBytes) {
    *error = "the result would be larger than " + std::to_string(kMaxResultBytes) + " bytes";
    return false;
  }
  out->clear();
  // "-0.00" reads oddly: a value that rounds to zero has no sign.
  bool all_zero = whole.find_first_not_of('0') == std::string_view::npos &&
                  fraction.find_first_not_of('0') == std::string_view::npos;
  if (negative && !all_zero) out->push_back('-');
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out->append(thousands);
    out->push_back(whole[i]);
  }
  if (decimals > 0) {
    out->append(point);
    out->append(fraction);
  }
  return true;
}

bool RandomInteger(int64_t low, int64_t high, int64_t* out, std::string* error) {
  if (low > high) {
    *error = "the lower bound " + std::to_string(low) + " is above the upper bound " +
             std::to_string(high);
    return false;
  }
  uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
  uint64_t value = 0;
  if (span == UINT64_MAX) {
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1) {
      *error = "the system's random source failed";
      return false;
    }
  } else {
    // Rejection sampling keeps every value equally likely.
    uint64_t range = span + 1;
    uint64_t limit = UINT64_MAX - UINT64_MAX % range;
    do {
      if (RAND_bytes(reinterpret_cast<unsigned char*>(&value), sizeof value) != 1) {
        *error = "the system's random source failed";
        return false;
      }
    } while (value >= limit);
    value %= range;
  }
  *out = static_cast<int64_t>(static_cast<uint64_t>(low) + value);
  return true;
}

bool WholeNumber(std::string_view text, int64_t* out, std::string* error) {
  Dec a;
  if (!Parse(text, &a, error)) return false;
  if (!mpd_isinteger(a.get())) {
    *error = Quoted(text) + " is not a whole number";
    return false;
  }
  mpd_context_t ctx;
  mpd_maxcontext(&ctx);
  uint32_t status = 0;
  Dec i = NewDec();
  mpd_qround_to_int(i.get(), a.get(), &ctx, &status);
  status = 0;
  int64_t value = mpd_qget_i64(i.get(), &status);
  if (status & MPD_Invalid_operation) {
    *error = Quoted(text) + " is too large";
    return false;
  }
  *out = value;
  return true;
}

}  // namespace orin_std
