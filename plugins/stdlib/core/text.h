// Text functions of the standard library, free of the host: bytes in,
// bytes out. Positions count bytes from 1, as array indices do in scripts;
// a failure leaves a message (without the function's name, which the
// caller adds) and returns false.
#ifndef ORIN_STD_CORE_TEXT_H_
#define ORIN_STD_CORE_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin_std {

// Results larger than this are refused rather than attempted: one script
// must not take the server's memory with str_repeat("x", 2000000000).
constexpr size_t kMaxResultBytes = 64u << 20;

// `length` bytes from position `start` (1 .. size + 1), cut at the end.
bool SubText(std::string_view text, int64_t start, int64_t length, std::string_view* out,
             std::string* error);

// Position of the first `needle` at or after `start` (1 .. size + 1), 0
// when there is none. An empty needle is found at `start`.
bool FindText(std::string_view text, std::string_view needle, int64_t start, int64_t* position,
              std::string* error);
// Position of the last `needle`, 0 when there is none.
int64_t FindLastText(std::string_view text, std::string_view needle);

// Every `search` replaced, left to right, without rescanning replacements.
bool ReplaceText(std::string_view text, std::string_view search, std::string_view replacement,
                 std::string* out, std::string* error);

// ASCII letters only: other bytes (UTF-8 sequences included) are kept.
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);

enum class TrimSide { kBoth, kLeft, kRight };
// Spaces, tabs, CR, LF, vertical tabs and form feeds.
std::string_view TrimText(std::string_view text, TrimSide side);

// `text` filled with repetitions of `fill` up to `width` bytes (the last
// repetition cut), on the left or the right; longer texts are kept whole.
bool PadText(std::string_view text, int64_t width, std::string_view fill, bool left,
             std::string* out, std::string* error);

// The pieces between separators; an empty text gives one empty piece.
bool SplitText(std::string_view text, std::string_view separator,
               std::vector<std::string_view>* pieces, std::string* error);

bool RepeatText(std::string_view text, int64_t count, std::string* out, std::string* error);

}  // namespace orin_std

#endif  // ORIN_STD_CORE_TEXT_H_
