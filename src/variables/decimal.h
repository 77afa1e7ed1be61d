// Script numbers: libmpdec decimals in one process-wide IEEE decimal64
// context (16 digits, exponents -383..384, half-even, clamping, nothing
// trapped), and the conversions between texts, 32-bit integers, decimals and
// doubles that every layer shares.
//
// Conversions never fail: a text that is not a number gives 0 and sets the
// caller's error flag, overflow gives an infinity, invalid operations NaN. The
// one exception is a failed allocation, reported as std::bad_alloc.
//
// Texts returned as `char*` are malloc'ed and NUL-terminated; the caller frees
// them with free (or hands them on to an owner that does).
#ifndef ORIN_VARIABLES_DECIMAL_H_
#define ORIN_VARIABLES_DECIMAL_H_

#include <mpdecimal.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orin {

// The context, initialised on first call (thread-safe) and read-only after.
const mpd_context_t* DecimalContext();

// Throws std::bad_alloc when a libmpdec status reports a failed allocation.
void CheckDecimalStatus(uint32_t status);

// A new heap decimal holding 0, for mpd_del.
mpd_t* NewDecimal();
struct DecimalDeleter {
  void operator()(mpd_t* d) const { mpd_del(d); }
};
using DecimalPtr = std::unique_ptr<mpd_t, DecimalDeleter>;

// The constant 0, shared; never written.
const mpd_t* DecimalZero();

// A decimal on the C stack with room for 64 words (enough for any decimal64
// result); libmpdec moves it to the heap by itself if a result needs more.
class ScratchDecimal {
 public:
  ScratchDecimal() : d_{MPD_STATIC | MPD_STATIC_DATA, 0, 1, 1, MPD_MINALLOC_MAX, words_} {
    words_[0] = 0;
  }
  ~ScratchDecimal() { mpd_del(&d_); }
  ScratchDecimal(const ScratchDecimal&) = delete;
  ScratchDecimal& operator=(const ScratchDecimal&) = delete;
  mpd_t* get() { return &d_; }

 private:
  mpd_uint_t words_[MPD_MINALLOC_MAX];
  mpd_t d_;
};

// Integer text parser: optional '-', decimal digits or "0x" + hex digits,
// read right to left in wrapping 32-bit arithmetic. Anything else gives 0
// with *error set (the empty text too); a lone '-' gives 0 without error.
// A length of -1 means up to the first NUL.
int32_t IntegerFromText(const char* bytes, int64_t length, bool* error);

// Decimal text parser (General Decimal Arithmetic syntax, rounded to 16
// digits; "0x" + hex as a saturated 64-bit integer as a fallback). An empty
// text is 0 without error; a NUL byte inside, or a syntax error, gives 0 with
// *error set. Writes into `target`, or a new decimal when it is null, and
// returns it. A length of -1 means up to the first NUL.
mpd_t* DecimalFromText(mpd_t* target, const char* bytes, int64_t length, bool* error);

mpd_t* DecimalFromInteger(mpd_t* target, int32_t value);

// "%d" text of the integer.
char* TextFromInteger(int32_t value, uint32_t* length, uint32_t* capacity);
// Writes the "%d" text into `out` (at least 12 bytes); returns the length.
uint32_t FormatInteger(int32_t value, char* out);

// Reduced fixed-point text: 2.50 -> "2.5", 1E+3 -> "1000", 0.000 -> "0";
// "Infinity", "-Infinity" and "NaN" for the special values.
char* TextFromDecimal(const mpd_t* value, uint32_t* length, uint32_t* capacity);

// Text with exactly `places` digits after the point (trailing zeros kept);
// negative places count as 0. Places beyond kMaxFixedPlaces are cut to it.
char* FixedTextFromDecimal(const mpd_t* value, int32_t places, uint32_t* length,
                           uint32_t* capacity);
constexpr int32_t kMaxFixedPlaces = 65535;

// NaN 0, +Infinity 2147483647, -Infinity -2147483647; finite values are
// truncated toward zero, and a result outside 32 bits gives 2147483647.
int32_t IntegerFromDecimal(const mpd_t* value);

// True when the value is an integer that fits in 32 bits; *out gets it.
bool DecimalIsInt32(const mpd_t* value, int32_t* out);

// Shortest round-trip text of the double, parsed as a decimal; NaN and the
// infinities map to their decimal counterparts.
mpd_t* DecimalFromDouble(mpd_t* target, double value);
double DoubleFromDecimal(const mpd_t* value);

// Truth of a text: false for "" and for texts of only '0' bytes with at most
// one '.' ("0", "00", "0.0", ".", "0."), true for everything else.
bool TextIsTrue(const char* bytes, size_t length);

}  // namespace orin

#endif  // ORIN_VARIABLES_DECIMAL_H_
