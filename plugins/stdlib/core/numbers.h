// Number functions on decimal texts, computed with libmpdec in the
// script's own number format (16 significant digits, exponents up to 384).
// Inputs are the texts of script values; a text that is not a finite
// number is refused rather than read as 0.
#ifndef ORIN_STD_CORE_NUMBERS_H_
#define ORIN_STD_CORE_NUMBERS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orin_std {

// True when `text` (blanks around it allowed) is a finite decimal number.
bool IsNumber(std::string_view text);

enum class Unary { kFloor, kCeil, kTrunc, kAbs, kSqrt, kExp, kLn, kLog10 };
enum class Binary { kMin, kMax, kPow, kMod };

bool NumberUnary(Unary op, std::string_view x, std::string* out, std::string* error);
bool NumberBinary(Binary op, std::string_view a, std::string_view b, std::string* out,
                  std::string* error);
// Rounded to `places` digits after the point (negative: before it), halves
// away from zero.
bool NumberRound(std::string_view x, int64_t places, std::string* out, std::string* error);

// Rounded to `decimals` places (0..50) like NumberRound, written without an
// exponent, with `point` before the fraction and `thousands` between groups
// of three integer digits.
bool FormatNumber(std::string_view x, int64_t decimals, std::string_view point,
                  std::string_view thousands, std::string* out, std::string* error);

// A uniformly distributed integer from low to high inclusive, from the
// system's secure random source.
bool RandomInteger(int64_t low, int64_t high, int64_t* out, std::string* error);

// The value of a whole-number text in 64 bits ("12", "-3", "4.0"), for
// positions, counts and timestamps.
bool WholeNumber(std::string_view text, int64_t* out, std::string* error);

}  // namespace orin_std

#endif  // ORIN_STD_CORE_NUMBERS_H_
