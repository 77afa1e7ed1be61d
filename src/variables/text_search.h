// Substring search behind the IN family of operators.
//
// Haystacks shorter than 300 bytes are scanned directly; longer ones use a
// 256-entry bad-character skip table (Boyer-Moore-Horspool, comparing right
// to left). Both find the leftmost occurrence, so the choice is invisible.
#ifndef ORIN_VARIABLES_TEXT_SEARCH_H_
#define ORIN_VARIABLES_TEXT_SEARCH_H_

#include <cstdint>
#include <string_view>

namespace orin {

constexpr size_t kSkipTableThreshold = 300;

// 0-based offset of the first occurrence of `needle`, or -1. An empty needle
// is found at 0. `ignore_case` compares ASCII letters case-insensitively.
int64_t FindBytes(std::string_view haystack, std::string_view needle, bool ignore_case);

// The two strategies, exposed so that tests can compare them.
int64_t FindBytesScan(std::string_view haystack, std::string_view needle, bool ignore_case);
int64_t FindBytesSkip(std::string_view haystack, std::string_view needle, bool ignore_case);

}  // namespace orin

#endif  // ORIN_VARIABLES_TEXT_SEARCH_H_
